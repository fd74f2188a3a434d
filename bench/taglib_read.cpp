// The yardstick of the whole-process benchmark: reads the title, artist and
// comment of every file named on the command line with TagLib directly, as
// a reader that wants only those three would, and prints nothing.
#include <taglib/fileref.h>
#include <taglib/tag.h>

int main(int argc, char** argv)
{
    unsigned long long characters = 0;  // used, so that no read is left out
    for (int i = 1; i < argc; ++i) {
        TagLib::FileRef file(argv[i], false);
        if (file.isNull() || !file.tag())
            continue;
        characters += file.tag()->title().size() + file.tag()->artist().size() + file.tag()->comment().size();
    }
    return characters == 0 && argc > 1 ? 1 : 0;
}
