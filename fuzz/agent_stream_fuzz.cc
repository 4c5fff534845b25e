// The agent's whole command loop fed from a buffer.  The harness reads the
// same input the way the daemon's protocol cuts it into requests and checks
// that the answers come in step: PONG for a keep-alive, an OID, type and
// value line or NONE for a get, one reply word for a set, nothing for
// anything else or for a request cut short by the end of input.
#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/device_services.h"
#include "snmp/snmp.h"
#include "snmp/snmp_internal.h"

using fuzzing::check;

namespace {

// The agent's line reading over the input: a line is read to its newline
// (or the end of input) whatever its length, and keeps size - 1 characters.
// A last line without its newline counts, unless it is empty or too long.
struct Reader {
  const unsigned char *data;
  size_t size;
  size_t at;

  bool line(char *out, int outSize) {
    int n = 0;
    bool tooLong = false;
    bool ended = true;
    while (at < size) {
      char c = static_cast<char>(data[at++]);
      if (c == '\n') {
        ended = false;
        break;
      }
      if (n < outSize - 1)
        out[n++] = c;
      else
        tooLong = true;
    }
    out[n] = 0;
    if (ended && (n == 0 || tooLong)) return false;
    trimR(out);
    return true;
  }
};

// The answer text, consumed one line at a time.
struct Answers {
  const char *at;

  bool line(const char **start, size_t *length) {
    const char *end = strchr(at, '\n');
    if (!end) return false;
    *start = at;
    *length = static_cast<size_t>(end - at);
    at = end + 1;
    return true;
  }
  bool expect(const char *word) {
    const char *s;
    size_t n;
    return line(&s, &n) && n == strlen(word) && memcmp(s, word, n) == 0;
  }
};

bool isOneOf(const char *s, size_t n, const char *const *words, int count) {
  for (int i = 0; i < count; i++)
    if (strlen(words[i]) == n && memcmp(s, words[i], n) == 0) return true;
  return false;
}

void checkGetAnswer(Answers *answers) {
  const char *s;
  size_t n;
  check(answers->line(&s, &n), "a get is answered");
  if (n == 4 && memcmp(s, "NONE", 4) == 0) return;
  size_t prefix = strlen(oidPrefix);
  check(n > prefix + 1 && memcmp(s, oidPrefix, prefix) == 0 && s[prefix] == '.',
        "the answer's OID lies under the prefix");
  for (size_t i = prefix; i < n; i++)
    check((s[i] >= '0' && s[i] <= '9') || s[i] == '.', "the answer's OID is numeric");
  static const char *const types[] = {"integer", "string", "octet"};
  check(answers->line(&s, &n) && isOneOf(s, n, types, 3), "a known type word");
  check(answers->line(&s, &n), "a value line");
}

char output[1 << 20];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::resetUnit();
  size_t length = fuzzing::withStreams(data, size, doSnmp, output, sizeof output);
  if (length >= sizeof output) return 0;  // too much to check; never seen

  Reader reader = {data, size, 0};
  Answers answers = {output};
  char request[160];
  char value[1024];
  while (reader.line(request, sizeof request)) {
    if (strcmp(request, "PING") == 0) {
      check(answers.expect("PONG"), "PING is answered PONG");
    } else if (strncmp(request, "get", 3) == 0) {
      if (!reader.line(request, sizeof request)) break;
      checkGetAnswer(&answers);
    } else if (strcmp(request, "set") == 0) {
      if (!reader.line(request, sizeof request)) break;
      if (!reader.line(value, sizeof value)) break;
      const char *s;
      size_t n;
      static const char *const replies[] = {"success", "wrong-type", "not-writable"};
      check(answers.line(&s, &n) && isOneOf(s, n, replies, 3), "a set reply word");
    }
  }
  check(*answers.at == 0, "nothing answered beyond the requests");
  return 0;
}
