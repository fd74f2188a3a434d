// The filter's own registration script, as the module carries it (CR LF,
// tabs), with the module path already in place of %MODULE%.
#pragma once

#include <string>

namespace trellan::test {

inline std::string FilterScript(const std::string& modulePath)
{
    return "HKCR\r\n"
           "{\r\n"
           "\tNoRemove CLSID\r\n"
           "\t{\r\n"
           "\t\tForceRemove {5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D} = s 'Veltrane IFilter'\r\n"
           "\t\t{\r\n"
           "\t\t\tInprocServer32 = s '" + modulePath + "'\r\n"
           "\t\t\t{\r\n"
           "\t\t\t\tval ThreadingModel = s 'Both'\r\n"
           "\t\t\t}\r\n"
           "\t\t\t'TypeLib' = s '{26FF8391-CEFA-44AC-AB73-8B4158F16429}'\r\n"
           "\t\t}\r\n"
           "\t\tForceRemove '{841BB775-EF27-4f3e-8522-D09327C5A8EA}' = s 'Veltrane Persistent Handler'\r\n"
           "\t\t{\r\n"
           "\t\t\tPersistentAddinsRegistered\r\n"
           "\t\t\t{\r\n"
           "\t\t\t\t'{89BCB740-6119-101A-BCB7-00DD010655AF}' = s '{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}'\r\n"
           "\t\t\t}\r\n"
           "\t\t}\r\n"
           "\t}\r\n"
           "\tNoRemove '.mp3'\r\n"
           "\t{\r\n"
           "\t\tPersistentHandler = s '{841BB775-EF27-4f3e-8522-D09327C5A8EA}'\r\n"
           "\t}\r\n"
           "\tNoRemove '.wma'\r\n"
           "\t{\r\n"
           "\t\tPersistentHandler = s '{841BB775-EF27-4f3e-8522-D09327C5A8EA}'\r\n"
           "\t}\r\n"
           "\tNoRemove '.wmv'\r\n"
           "\t{\r\n"
           "\t\tPersistentHandler = s '{841BB775-EF27-4f3e-8522-D09327C5A8EA}'\r\n"
           "\t}\r\n"
           "\tNoRemove '.asf'\r\n"
           "\t{\r\n"
           "\t\tPersistentHandler = s '{841BB775-EF27-4f3e-8522-D09327C5A8EA}'\r\n"
           "\t}\r\n"
           "}\r\n";
}

}  // namespace trellan::test
