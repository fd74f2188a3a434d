// Windows only: defines the media-format runtime's interface ids, which the
// SDK headers declare but no MinGW-w64 library carries.
#include <windows.h>
#include <initguid.h>
#include <wmsdkidl.h>
