# The two commands of the README: `make run` and `make test`.
PY := /usr/bin/python3
JOBS ?= 2

.PHONY: run test deps build unit-test ppc-test e2e-test bench

run: deps build
	tools/unit run

# Every runner runs even when an earlier one fails, so that the output ends
# with all their summaries; the status is that of the whole.
test: deps build
	@status=0; \
	$(MAKE) --no-print-directory unit-test || status=1; \
	$(MAKE) --no-print-directory ppc-test || status=1; \
	$(MAKE) --no-print-directory e2e-test || status=1; \
	exit $$status

deps:
	tools/install-deps

build:
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

unit-test:
	ctest --preset host

# The appliance's 32-bit big-endian PowerPC build; its unit tests run under
# qemu-ppc.
ppc-test:
	cmake --preset ppc >/dev/null
	cmake --build --preset ppc -j$(JOBS)
	ctest --preset ppc

e2e-test:
	$(PY) -m pytest -q tests/e2e

# Costs of the SNMP agent's request path; numbers, not pass or fail.
bench: deps build
	cmake --build --preset host --target setup_bench
	build/host/setup_bench

# Writers killed in the middle of their saves, 10,000 times over (the unit
# tests run a few hundred of these).
.PHONY: stress
stress: deps build
	SETUP_KILL_TRIALS=10000 build/host/platform_host_tests \
	  --gtest_filter='EepromImage.WritersKilledAtRandom*'
