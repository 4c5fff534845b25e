# The two commands of the README: `make run` and `make test`.
PY := /usr/bin/python3
JOBS ?= 2
# `make install PREFIX=/usr DESTDIR=/tmp/root`; DESTDIR is read by cmake.
PREFIX ?= /usr/local

.PHONY: run test deps build unit-test ppc-test e2e-test clone-check lint install bench \
	asan-test fuzz fuzz-build soak

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
	$(MAKE) --no-print-directory asan-test || status=1; \
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(CI_FUZZ_SECONDS) || status=1; \
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

# Extra pytest arguments, e.g. E2E_ARGS=--basetemp=/tmp/e2e-mine.
E2E_ARGS ?=
e2e-test:
	$(PY) -m pytest -q tests/e2e $(E2E_ARGS)

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

install: build
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
	SETUP_KILL_TRIALS=10000 build/host/platform_host_tests \
	  --gtest_filter='EepromImage.WritersKilledAtRandom*'
	$(PY) tools/stress -t $(STRESS_SECONDS) --history build/stress-history.json
