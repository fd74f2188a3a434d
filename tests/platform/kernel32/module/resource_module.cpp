// A small module for the resource tests: it carries the filter's compiled
// resources as its ".rsrc" section (or none, in its bare twin) and one
// export, so that a data-file load can be told from a real one.
extern "C" __attribute__((visibility("default"))) int TypelibTestModuleMarker()
{
    return 75;
}
