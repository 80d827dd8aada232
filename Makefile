# Every target that runs code sets the machine up first (scripts/setup is idempotent).
VENV_PY := .venv/bin/python
PYBIND_DIR = $(shell $(VENV_PY) -m pybind11 --cmakedir)
CORE_CMAKE = cmake -S . -G Ninja -DMARROWLANE_MODULES=OFF -DMARROWLANE_TESTS=ON \
             -DPython_EXECUTABLE=$(abspath $(VENV_PY))

.PHONY: setup test core-test core-test-sanitize py-test demo bench format

setup:
	scripts/setup

test: setup core-test core-test-sanitize py-test

core-test:
	$(CORE_CMAKE) -B build/core -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/core
	ctest --test-dir build/core --output-on-failure

core-test-sanitize:
	$(CORE_CMAKE) -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DMARROWLANE_SANITIZE=ON >/dev/null
	cmake --build build/sanitize
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/sanitize --output-on-failure

py-test:
	$(VENV_PY) -m pytest -q -p no:cacheprovider

# The example suite is a project of its own: its configuration file is found
# from its directory.
demo: setup
	cd examples && ../$(VENV_PY) -m pytest -q -p no:cacheprovider; status=$$?; \
	  echo "Report: $(abspath examples/test_report/report.html)"; exit $$status

bench: setup
	for b in bench/bench_*.py; do echo "== $$b"; $(VENV_PY) $$b || exit 1; done

format:
	clang-format -i core/include/marrowlane/*.hpp core/src/*.cpp core/tests/*.cpp bindings/*.cpp bindings/common/*.[ch]pp
