#include "demo.h"

#include <korutil/settings.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The editor's settings record: one list of Xfer calls loads and saves it.
struct EditorSettings : CIniFile {
    explicit EditorSettings(const char* file) : CIniFile(file) {}
    int left = 0, top = 0, width = 0, height = 0;
    char recent[3][64] = {};
    int UpdateData(int save) override {
        Xfer(save, "Window", "Left", &left, 100);
        Xfer(save, "Window", "Top", &top, 80);
        Xfer(save, "Window", "Width", &width, 640);
        Xfer(save, "Window", "Height", &height, 480);
        char none[] = "";
        for (int i = 0; i < 3; ++i) {
            const std::string key = "File" + std::to_string(i + 1);
            Xfer(save, "Recent", key.c_str(), recent[i], sizeof recent[i], none);
        }
        return 1;
    }
    void open(const char* file) {
        std::memmove(recent[1], recent[0], sizeof recent[0] * 2);
        std::snprintf(recent[0], sizeof recent[0], "%s", file);
    }
};

// The same settings mirrored in the registry, as a Windows build of the editor keeps them.
void mirror(const EditorSettings& s) {
    CRegKeyBase window("Software\\KorutilDemo\\Editor", "Window", CRegKeyBase::modeCreate,
                       CRegKeyBase::ctxCurrentUser, 0);
    window.SetDword("Left", static_cast<unsigned long>(s.left));
    window.SetDword("Top", static_cast<unsigned long>(s.top));
    window.SetDword("Width", static_cast<unsigned long>(s.width));
    window.SetDword("Height", static_cast<unsigned long>(s.height));
    CRegKeyBase recent("Software\\KorutilDemo\\Editor", "Recent", CRegKeyBase::modeCreate,
                       CRegKeyBase::ctxCurrentUser, 0);
    for (int i = 0; i < 3; ++i) {
        recent.SetString(("File" + std::to_string(i + 1)).c_str(), s.recent[i]);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void sayLines(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        demo::say("  | %s", line.c_str());
    }
}

int run() {
    // A private INI file and registry in a temporary folder: the user's own settings are
    // never touched.
    std::string dir = (std::filesystem::temp_directory_path() / "korutil-demo-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        demo::say("cannot create a temporary folder");
        return 1;
    }
    const char* previous = std::getenv("KORUTIL_REGISTRY");
    const std::string saved = previous ? previous : "";
    setenv("KORUTIL_REGISTRY", (dir + "/registry.sqlite").c_str(), 1);
    const std::string ini = dir + "/editor.ini";
    int problems = 0;

    {
        EditorSettings first(ini.c_str());
        first.UpdateData(0);
        demo::say("first start, no INI file yet: window at %d,%d size %dx%d (the defaults)",
                  first.left, first.top, first.width, first.height);
        first.left = 212;
        first.top = 148;
        first.width = 1024;
        first.height = 700;
        first.open("/home/ada/notes.txt");
        first.open("/home/ada/engine/plan.md");
        first.UpdateData(1);
        demo::say("moved the window, opened two files, saved through the same Xfer list:");
        sayLines(readFile(ini));
    }

    EditorSettings next(ini.c_str());
    next.UpdateData(0);
    demo::say("next start: window at %d,%d size %dx%d, most recent file \"%s\"", next.left,
              next.top, next.width, next.height, next.recent[0]);
    problems += next.left != 212 || next.height != 700 ||
                std::strcmp(next.recent[1], "/home/ada/notes.txt") != 0;

    mirror(next);
    CRegKeyBase window("Software\\KorutilDemo\\Editor\\Window", nullptr, CRegKeyBase::modeOpen,
                       CRegKeyBase::ctxCurrentUser, 0);
    CRegKeyBase recent("Software\\KorutilDemo\\Editor\\Recent", nullptr, CRegKeyBase::modeOpen,
                       CRegKeyBase::ctxCurrentUser, 0);
    CString file;
    recent.GetString("File1", "(none)", &file);
    demo::say("mirrored under HKEY_CURRENT_USER\\Software\\KorutilDemo\\Editor: Width %lu, "
              "File1 \"%s\", missing value Zoom gives its default %lu",
              window.GetDword("Width", 0), static_cast<const char*>(file),
              window.GetDword("Zoom", 100));
    problems += window.GetDword("Width", 0) != 1024;

    // What a Linux user sees with the command-line tool.
    demo::say("korutil-reg export HKCU\\Software\\KorutilDemo:");
    const std::string command =
        std::string("\"") + KORUTIL_REG_TOOL + "\" export 'HKCU\\Software\\KorutilDemo'";
    std::string exported;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[512];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            exported.append(chunk, n);
        }
        problems += pclose(pipe) != 0;
    }
    sayLines(exported);
    problems += exported.find("\"Width\"=dword:00000400") == std::string::npos;

    const unsigned long status =
        CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\KorutilDemo");
    demo::say("RegDeleteKeyAll removed the demo's key with its subkeys: status %lu", status);
    problems += status != 0;

    PlatRegCloseStore();
    if (previous) {
        setenv("KORUTIL_REGISTRY", saved.c_str(), 1);
    } else {
        unsetenv("KORUTIL_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return problems == 0 ? 0 : 1;
}

demo::Registration registration(60, "Settings: INI files and the registry", run);

} // namespace
