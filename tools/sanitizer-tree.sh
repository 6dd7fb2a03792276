# Configures build/asan, the sanitizer tree: clang-14 with AddressSanitizer
# and UndefinedBehaviorSanitizer, the fuzz targets on. Sourced by
# tools/run-tests and tools/run-fuzz; LOG gets cmake's output.
#   configure_sanitizer_tree LOG
configure_sanitizer_tree() {
    sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
    cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
          -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
          -DBRLWIN32_FUZZ=ON -DBRLWIN32_STATIC_ANALYSIS=OFF -DBRLWIN32_BENCHMARKS=OFF >"$1" 2>&1 || { cat "$1"; return 1; }
}
