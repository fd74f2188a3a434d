// A loadable module that carries no resources: the type-library fall-back
// is tested with copies of it.
extern "C" int EmptyModuleMarker()
{
    return 1;
}
