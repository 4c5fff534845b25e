# The two commands of the README: `make run` and `make test`.
PY := /usr/bin/python3
JOBS ?= 2

.PHONY: run test deps build unit-test e2e-test

run: deps build
	tools/unit run

test: deps build
	$(MAKE) unit-test e2e-test

deps:
	tools/install-deps

build:
	cmake --preset host >/dev/null
	cmake --build --preset host -j$(JOBS)

unit-test:
	ctest --preset host

e2e-test:
	$(PY) -m pytest -q tests/e2e
