// render-icons: writes the program's icon as PNG files into an icon theme folder,
// FOLDER/NxN/apps/NAME.png for each size given.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/qt/qt_icon_file.h"
#include "res/resources.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: render-icons FOLDER NAME SIZE...\n", stderr);
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        const std::string strSize = std::to_string(std::atoi(argv[i]));
        const std::filesystem::path folder =
            std::filesystem::path(argv[1]) / (strSize + "x" + strSize) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        const std::string strFile = (folder / (std::string(argv[2]) + ".png")).string();
        if (!platform::qt::SaveIconAsPng(LoadIconXpm(IDR_MAINFRAME), std::atoi(argv[i]),
                                         strFile.c_str())) {
            std::fprintf(stderr, "render-icons: cannot write %s\n", strFile.c_str());
            return 1;
        }
    }
    return 0;
}
