# The one configuration of build/linux, for scripts/run and scripts/test alike: the
# same options give the same compiler flags, so neither rebuilds what the other built.
# scripts/run adds -DVEXA_BUILD_TESTS=OFF after these when it configures a fresh
# folder; scripts/test, with these, switches the tests on again. Sourced, not run.
linux_cmake_options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_WERROR=ON -DVEXA_BUILD_TESTS=ON -DVEXA_E2E_VALGRIND=ON)

# What scripts/release (and bench/run --release) build with: Debian 11's compiler and
# libraries from the root scripts/release makes, and no packed relocations, which
# need glibc 2.36.
release_cmake_options=("-DCMAKE_TOOLCHAIN_FILE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/cmake/toolchain-debian11-root.cmake"
  -DVEXA_PACK_RELOCATIONS=OFF)
# The same for Linux on 64-bit ARM, with the root's aarch64 cross compiler.
release_arm64_cmake_options=("-DCMAKE_TOOLCHAIN_FILE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/cmake/toolchain-debian11-root-aarch64.cmake"
  -DVEXA_PACK_RELOCATIONS=OFF)
