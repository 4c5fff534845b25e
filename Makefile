# The two commands of the README: `make run` and `make test`.
PY := /usr/bin/python3
JOBS ?= 2
# `make install PREFIX=/usr DESTDIR=/tmp/root`; DESTDIR is read by cmake.
PREFIX ?= /usr/local

.PHONY: run test deps build unit-test ppc-test e2e-test build-programs clone-check lint install bench \
	asan-test fuzz fuzz-build soak coverage coverage-build coverage-zero coverage-report

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
# with all their summaries; the status is that of the whole.  The unit and
# end-to-end tests run against the coverage build, so the run itself is the
# coverage run: its table comes last (numbers, not a gate).  Of this
# machine's plain build only the two programs are made, for the install and
# warning checks.
test: deps build-programs coverage-build
	@status=0; \
	$(MAKE) --no-print-directory coverage-zero; \
	$(MAKE) --no-print-directory unit-test TEST_PRESET=coverage || status=1; \
	$(MAKE) --no-print-directory ppc-test || status=1; \
	$(MAKE) --no-print-directory e2e-test UNIT_BUILD=build/gcov || status=1; \
	$(MAKE) --no-print-directory system-test || status=1; \
	$(MAKE) --no-print-directory clone-check || status=1; \
	$(MAKE) --no-print-directory asan-test || status=1; \
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(CI_FUZZ_SECONDS) || status=1; \
	$(MAKE) --no-print-directory coverage-report; \
	exit $$status

deps:
	tools/install-deps run test

build:
	cmake --preset host -DSETUP_TESTS=ON >/dev/null
	cmake --build --preset host -j$(JOBS)

build-programs:
	cmake --preset host -DSETUP_TESTS=ON >/dev/null
	cmake --build --preset host -j$(JOBS) --target setup unitcfg

TEST_PRESET ?= host
unit-test:
	ctest --preset $(TEST_PRESET)

# The appliance's 32-bit big-endian PowerPC build; its unit tests run under
# qemu-ppc.
ppc-test:
	cmake --preset ppc >/dev/null
	cmake --build --preset ppc -j$(JOBS)
	ctest --preset ppc

# Extra pytest arguments, e.g. E2E_ARGS=--basetemp=/tmp/e2e-mine; the
# build whose programs the unit runs, e.g. UNIT_BUILD=build/gcov.
E2E_ARGS ?=
UNIT_BUILD ?=
e2e-test:
	UNIT_BUILD=$(UNIT_BUILD) $(PY) -m pytest -q tests/e2e $(E2E_ARGS)

# The unit and end-to-end tests against a build with gcov counters, then a
# line and branch table per folder of the product code (gcovr) and the
# annotated sources in build/coverage/index.html.  `make test` is this run
# too; here only the two test suites run.
coverage: deps coverage-build
	@status=0; \
	$(MAKE) --no-print-directory coverage-zero; \
	$(MAKE) --no-print-directory unit-test TEST_PRESET=coverage || status=1; \
	$(MAKE) --no-print-directory e2e-test UNIT_BUILD=build/gcov || status=1; \
	$(MAKE) --no-print-directory coverage-report; \
	exit $$status

coverage-build:
	cmake --preset coverage >/dev/null
	cmake --build --preset coverage -j$(JOBS)

# Counts add up across runs: each run starts from none.
coverage-zero:
	@find build/gcov -name '*.gcda' -delete 2>/dev/null || true

coverage-report:
	@tools/coverage-report build/gcov build/coverage

# The appliance's build on a whole 32-bit PowerPC system under
# qemu-system-ppc: its kernel and BusyBox come from tools/system-image
# (built once, kept in ~/.cache/setup-system), the initramfs is packed from
# build/ppc and examples/inittab at every run.  SYSTEM_ARGS: extra pytest
# arguments.
SYSTEM_ARGS ?=
.PHONY: system-test
system-test: deps
	cmake --preset ppc >/dev/null
	cmake --build --preset ppc -j$(JOBS) --target setup unitcfg
	@start=$$(date +%s); \
	JOBS=$(JOBS) tools/system-image >/dev/null && \
	$(PY) -m pytest -q tests/system --basetemp=build/system $(SYSTEM_ARGS); status=$$?; \
	echo "system-test: $$(( $$(date +%s) - start )) s"; exit $$status

# The product and its unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the agent's and the console's end-to-end
# tests against the sanitized binary.  The clock tests preload a stand-in
# clock, which ASan must let come before it; leaks are left to the unit
# tests and the fuzzers, since the leak check cannot run under the strace
# that some end-to-end tests put around the program.
SANITIZED_E2E := $(wildcard tests/e2e/test_snmp_*.py tests/e2e/test_console_*.py)
asan-test: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j$(JOBS)
	ctest --preset asan
	UNIT_BUILD=build/asan ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  $(PY) -m pytest -q $(SANITIZED_E2E) $(E2E_ARGS)

# Every fuzz harness in turn, FUZZ_SECONDS each; `make test` gives each
# CI_FUZZ_SECONDS.  What a run learns is kept in build/fuzz/corpus (the
# seeds in fuzz/corpus stay as committed); a finding is written to
# build/fuzz/TARGET-crash-* and ends its run with a failure.
FUZZ_SECONDS ?= 600
CI_FUZZ_SECONDS ?= 10
FUZZ_TARGETS := agent_stream set_values store_text store_image kv_file \
	address serial_config modem_login serial_login ppp_detect store_merge
fuzz-build:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS)

fuzz: fuzz-build
	@status=0; \
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus/$$t; \
	  build/fuzz/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -print_final_stats=1 -artifact_prefix=build/fuzz/$$t- \
	    build/fuzz/corpus/$$t fuzz/corpus/$$t >build/fuzz/$$t.log 2>&1 \
	    || { status=1; echo "$$t: FINDING (build/fuzz/$$t.log)"; \
	         grep -E 'invariant broken|ERROR|SUMMARY' build/fuzz/$$t.log; }; \
	  printf '%-14s %10s executions in %ss\n' $$t \
	    "$$(sed -n 's/^stat::number_of_executed_units: *//p' build/fuzz/$$t.log)" \
	    $(FUZZ_SECONDS); \
	done; \
	exit $$status

# A million requests through `setup -S` in a simulated unit, with memory
# and descriptors sampled along the way; not part of `make test`.
soak: deps build
	$(PY) tools/soak

# What a new user and an integrator meet, from a fresh clone of HEAD.
clone-check:
	tools/check-clone

# The MIB module and the manual page, without a single message.
lint:
	SMIPATH=$$(tools/base-mibs) smilint -l 6 -s mibs/REMOTE-CONSOLE-SETUP-MIB.txt 2>&1 | \
	  { ! grep .; }
	mandoc -T lint -W warning doc/setup.8

# The run set suffices: only setup is built, never the tests, and a build
# directory made before (by `make run` or `make build`) keeps its settings.
install:
	@tools/install-deps run
	@[ -f build/host/CMakeCache.txt ] || cmake --preset host -DSETUP_TESTS=OFF >/dev/null
	cmake --build --preset host -j$(JOBS) --target setup
	cmake --install build/host --prefix $(PREFIX)

# Costs of the SNMP agent's request path beside a minimal responder's, in the
# simulated unit; numbers, not pass or fail.
bench: deps
	cmake --preset shipped >/dev/null
	cmake --build --preset shipped -j$(JOBS) --target setup unitcfg bench_walk bench_responder bench_logsink
	$(PY) bench/agent_bench.py

# Writers killed in the middle of their saves, 10,000 times over (the unit
# tests run a few hundred of these); then STRESS_SECONDS of the agent, the
# console, unitcfg, -W and -x at once on one simulated unit, killed at
# random, with the recorded history checked (the end-to-end tests run a
# minute of it).
STRESS_SECONDS ?= 600
.PHONY: stress
stress: deps build
	SETUP_KILL_TRIALS=10000 SETUP_TEST_TIMEOUT=0 build/host/platform_store_tests \
	  --gtest_filter='EepromImage.WritersKilledAtRandom*'
	$(PY) tools/stress -t $(STRESS_SECONDS) --history build/stress-history.json

# Prometheus and its SNMP exporter for a fleet of units
# (examples/prometheus).  prometheus-snmp writes snmp.yml from generator.yml
# and the MIB module; the end-to-end tests fail when the committed one is
# not what it writes.  fleet runs N simulated units, each behind its own
# snmpd, scraped by a real Prometheus for FLEET_MINUTES; not part of
# `make test`.
.PHONY: prometheus-snmp fleet
N ?= 10
FLEET_MINUTES ?= 5
prometheus-snmp:
	tools/prometheus-snmp

fleet: deps build
	$(PY) tools/fleet -n $(N) --minutes $(FLEET_MINUTES)
