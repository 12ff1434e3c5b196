// Linked into a stand-in of the hardware library so that it imports the test's
// dependency library, which must then be found when the stand-in is loaded.

extern "C" int vexaTestDependency();

namespace {

// Called at load, so the import cannot be dropped from the stand-in.
[[maybe_unused]] const int dependencyBound = vexaTestDependency();

} // namespace
