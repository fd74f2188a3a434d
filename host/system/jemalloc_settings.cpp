// jemalloc's settings for the programs that link it, read by jemalloc as it
// starts. Address space a freed block took is given back to the system
// once its pages are returned, not kept for jemalloc's own reuse: under a
// limit on the address space (ulimit -v) that room is what the next file's
// reading needs, and the editor looks for it with a mapping of its own.
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "retain:false";
}
