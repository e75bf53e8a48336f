// A loadable module that is not an extension: it exports a function, but not
// the extension entry point. The loader must refuse it cleanly.
extern "C" __attribute__((visibility("default"))) int velarium_not_an_extension() { return 42; }
