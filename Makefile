# The two commands of the README: `make test` and `make demo`.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
RELEASE_BUILD := build-release
FUZZ_BUILD := build-fuzz
FUZZ_TARGETS := fuzz_answer_forms fuzz_script fuzz_recording fuzz_result_files fuzz_session \
                fuzz_wfdb fuzz_wfdb_annotations fuzz_delimited_text
# `make fuzz` runs each target this long; FUZZ_SECONDS=600 for a longer search.
FUZZ_SECONDS ?= 120

.PHONY: test demo deps build build-asan build-release package install-check build-fuzz fuzz \
        fuzz-smoke format-check lint hooks bench clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAPARI_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMAPARI_SANITIZE=ON -DMAPARI_WITH_QT=OFF \
	    -DMAPARI_WERROR=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# The programs as a user or a packager builds them: Release, no tests.
build-release: deps
	@cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	    -DMAPARI_WERROR=ON >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS)

# The Debian package, $(RELEASE_BUILD)/mapari_<version>_amd64.deb.
package: build-release
	@cd $(RELEASE_BUILD) && cpack -G DEB >/dev/null && ls mapari_*.deb

# Installs into a temporary prefix and runs the installed programs from a
# folder outside the source tree; checks the package's fields and contents.
install-check: package
	@./scripts/check-install.sh $(RELEASE_BUILD)

# The libFuzzer targets: clang with coverage, AddressSanitizer and UBSan.
build-fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DMAPARI_WITH_QT=OFF -DMAPARI_FUZZ=ON -DMAPARI_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

# Each target searches from its seed corpus, copied into the build folder so
# the inputs it adds stay out of the repository, with fuzz/TARGET.dict where
# there is one; a crash is written to $(FUZZ_BUILD)/artifacts/ and stops the run.
fuzz: build-fuzz
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for t in $(FUZZ_TARGETS); do \
	    echo "== $$t: $(FUZZ_SECONDS) s"; \
	    mkdir -p $(FUZZ_BUILD)/corpus-$$t && cp -r fuzz/corpus/$$t/. $(FUZZ_BUILD)/corpus-$$t/ && \
	    dict=; [ -f fuzz/$$t.dict ] && dict=-dict=fuzz/$$t.dict; \
	    $(FUZZ_BUILD)/fuzz/$$t $(FUZZ_BUILD)/corpus-$$t -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	        $$dict -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- || exit 1; \
	done

# A short, repeatable search for `make test`: a fixed seed and a fixed number
# of runs per target (about ten seconds each), two targets at a time.
FUZZ_SMOKE_RUNS := fuzz_session:200 fuzz_recording:200 fuzz_result_files:1500 \
                   fuzz_answer_forms:300000 fuzz_script:300000 fuzz_wfdb:20000 \
                   fuzz_wfdb_annotations:100000 fuzz_delimited_text:50000
fuzz-smoke: build-fuzz
	@./fuzz/smoke.sh $(FUZZ_BUILD) $(JOBS) $(FUZZ_SMOKE_RUNS)

format-check: deps
	@files=$$(git ls-files '*.cpp' '*.hpp'); \
	clang-format --dry-run --Werror $$files && echo "clang-format: clean"

# clang-tidy (.clang-tidy) over the project's sources with the normal build's
# compile commands; any finding fails.
lint: build
	@./scripts/lint.sh $(BUILD) $(JOBS)

# The pre-commit hook: clang-format and the layering check on what is staged.
hooks:
	@./scripts/install-hooks.sh

test: build build-asan format-check fuzz-smoke install-check
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# In the desktop window when a display is there, headless otherwise.
demo: build
	@if [ -n "$$DISPLAY" ]; then ./$(BUILD)/src/app/mapari --demo --gui; \
	else ./$(BUILD)/src/app/mapari --demo; fi

# The Google Benchmark programs' times, then the demo session's instruction
# count (callgrind; skipped with a message when valgrind is not installed).
bench: build
	@for b in $(BUILD)/bench/bench_*; do $$b; done
	@./bench/instructions.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) $(FUZZ_BUILD)
