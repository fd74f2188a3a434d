// Whether a path is left out: a folder along it whose name starts with a dot
// (unless hidden folders are asked for), or an exclusion glob of the covered
// path it is under.
#include "index/run/left_out.h"

#include <fnmatch.h>

namespace host::index {

bool LeftOut(const LeftOutRules& rules, std::string_view path)
{
    for (const CoveredPath& covered : rules.paths) {
        if (!IsUnder(path, covered.path) || path.size() == covered.path.size())
            continue;
        // The part below the covered path, and each folder on the way to it.
        const std::string below(path.substr(covered.path == "/" ? 1 : covered.path.size() + 1));
        for (size_t end = 0; end != std::string::npos;) {
            const size_t start = end == 0 ? 0 : end + 1;
            end = below.find('/', start);
            const std::string part = below.substr(0, end);
            if (!rules.hidden && end != std::string::npos && below[start] == '.')
                return true;
            for (const std::string& glob : covered.excludes)
                if (fnmatch(glob.c_str(), part.c_str(), 0) == 0)
                    return true;
        }
        return false;
    }
    return false;
}

}  // namespace host::index
