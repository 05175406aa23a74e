# Front door for builds and tests; the scripts under scripts/ do the work.
.PHONY: all build demo test test-native test-windows windows test-sanitize fuzz bench format format-check clean

all: build

build:
	@scripts/native.sh build

demo:
	@scripts/demo.sh

test:
	@scripts/native.sh test
	@scripts/windows.sh test-if-possible

test-native:
	@scripts/native.sh test

windows:
	@scripts/windows.sh dist

test-windows:
	@scripts/windows.sh test

test-sanitize:
	@scripts/sanitize.sh

fuzz:
	@scripts/fuzz.sh

bench:
	@scripts/bench.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@scripts/ensure-packages.sh clang-format >&2
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf build dist
