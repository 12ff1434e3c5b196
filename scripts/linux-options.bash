# The one configuration of build/linux, for scripts/run and scripts/test alike: the
# same options give the same compiler flags, so neither rebuilds what the other built.
# Sourced, not run.
linux_cmake_options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_WERROR=ON -DVEXA_E2E_VALGRIND=ON)
