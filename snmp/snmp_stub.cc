// Placeholder until the SNMP agent lands.
#include "snmp/snmp.h"
void doSnmp() {}
