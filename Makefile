# The two commands of the README: `make run` and `make test`.
PY := /usr/bin/python3
JOBS ?= 2
# `make install PREFIX=/usr DESTDIR=/tmp/root`; DESTDIR is read by cmake.
PREFIX ?= /usr/local

.PHONY: run test deps build unit-test ppc-test e2e-test clone-check lint install bench

# Only what the console needs: the run set of packages and the two programs
# the unit runs.  One line a step; the build's own output goes to a log that
# is shown when it fails.
run:
	@echo "make run: packages of the run set (tools/install-deps run)"
	@tools/install-deps run
	@echo "make run: building setup and unitcfg (log: build/run.log)"
	@mkdir -p build
	@{ cmake --preset host -DSETUP_TESTS=OFF && \
	   cmake --build --preset host -j$(JOBS) --target setup unitcfg; } \
	   >build/run.log 2>&1 || { tail -n 30 build/run.log; exit 1; }
	@echo "make run: the console on the simulated unit in .unit (q ends it)"
	@tools/unit run

# Every runner runs even when an earlier one fails, so that the output ends
# with all their summaries; the status is that of the whole.
test: deps build
	@status=0; \
	$(MAKE) --no-print-directory unit-test || status=1; \
	$(MAKE) --no-print-directory ppc-test || status=1; \
	$(MAKE) --no-print-directory e2e-test || status=1; \
	$(MAKE) --no-print-directory clone-check || status=1; \
	exit $$status

deps:
	tools/install-deps run test

build:
	cmake --preset host -DSETUP_TESTS=ON >/dev/null
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

# What a new user and an integrator meet, from a fresh clone of HEAD.
clone-check:
	tools/check-clone

# The MIB module and the manual page, without a single message.
lint:
	SMIPATH=$$(tools/base-mibs) smilint -l 6 -s mibs/REMOTE-CONSOLE-SETUP-MIB.txt 2>&1 | \
	  { ! grep .; }
	mandoc -T lint -W warning doc/setup.8

install: build
	cmake --install build/host --prefix $(PREFIX)

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
