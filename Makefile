# Thin entry points; the work is in tools/ and CMake.
.PHONY: test demo bench build
test:
	./tools/test.sh
demo:
	./tools/demo.sh $(MODE)
bench:
	./tools/bench.sh
build:
	./tools/setup.sh && ./tools/build.sh
