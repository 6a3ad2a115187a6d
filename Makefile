# The two commands of the README: `make test` and `make demo`.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan

.PHONY: test demo deps build build-asan format-check bench clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMAPARI_SANITIZE=ON -DMAPARI_WITH_QT=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

format-check: deps
	@files=$$(git ls-files '*.cpp' '*.hpp'); \
	clang-format --dry-run --Werror $$files && echo "clang-format: clean"

test: build build-asan format-check
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# In the desktop window when a display is there, headless otherwise.
demo: build
	@if [ -n "$$DISPLAY" ]; then ./$(BUILD)/src/app/mapari --demo --gui; \
	else ./$(BUILD)/src/app/mapari --demo; fi

bench: build
	@for b in $(BUILD)/bench/bench_*; do $$b; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
