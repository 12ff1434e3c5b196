// A library that the test stand-in of the hardware library imports: where the loader
// takes a library's own imports from. The impostor build, placed where no import may
// be taken from, lacks the export, so a stand-in bound to it fails to load.

#ifdef _WIN32
#define VEXA_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define VEXA_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#ifdef VEXA_TEST_IMPOSTOR
VEXA_TEST_EXPORT int vexaTestImpostor() {
    return 0;
}
#else
VEXA_TEST_EXPORT int vexaTestDependency() {
    return 1;
}
#endif
