#include "machine_classes.h"

namespace trellan {

const WCHAR machineClassesPath[] = OLESTR("Software\\Classes");

LONG OpenMachineClasses(KeyHolder& classes, REGSAM view)
{
    if (classes.Open(HKEY_LOCAL_MACHINE, machineClassesPath, KEY_ALL_ACCESS | view) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return classes.Open(HKEY_LOCAL_MACHINE, machineClassesPath, KEY_READ | view);
}

}  // namespace trellan
