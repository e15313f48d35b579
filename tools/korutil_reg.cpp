// korutil-reg: the registry of korutil hosts from the command line.
#include "regfile.h"

#include <korutil/settings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: korutil-reg COMMAND ...\n"
    "  query  KEY [NAME]            show the values and subkeys of KEY (or one value)\n"
    "  set    KEY NAME TYPE DATA    set a value; TYPE is REG_SZ, REG_EXPAND_SZ, REG_DWORD\n"
    "                               (decimal or 0x hex) or REG_BINARY (hex bytes)\n"
    "  delete KEY [NAME]            delete a value, or KEY with everything below it\n"
    "  export KEY [FILE]            write KEY and everything below it as a .reg file\n"
    "  import FILE                  apply a .reg file ('-' reads standard input)\n"
    "KEY starts with a root: HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM),\n"
    "HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKU) or HKEY_CURRENT_CONFIG (HKCC). NAME \"@\" or\n"
    "\"\" is the key's default value. The store is $KORUTIL_REGISTRY, by default\n"
    "$XDG_CONFIG_HOME/korutil/registry.sqlite.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int failed(const std::string& what, LONG status) {
    std::fprintf(stderr, "korutil-reg: %s: error %ld\n", what.c_str(), static_cast<long>(status));
    return 1;
}

std::string valueName(const char* arg) {
    return std::strcmp(arg, "@") == 0 ? std::string() : std::string(arg);
}

// Opens KEY below its root; create makes the missing keys.
LONG openKey(const std::string& path, bool create, HKEY& key) {
    HKEY root = nullptr;
    std::string sub;
    if (!korutil::regfile::splitRoot(path, root, sub)) {
        return ERROR_BAD_PATHNAME;
    }
    return create ? RegCreateKeyA(root, sub.c_str(), &key)
                  : RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &key);
}

int query(const std::string& path, const char* only) {
    HKEY key = nullptr;
    LONG status = openKey(path, false, key);
    if (status != ERROR_SUCCESS) {
        return failed(path, status);
    }
    DWORD maxSubKey = 0, maxName = 0, maxData = 0;
    status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &maxSubKey, nullptr, nullptr,
                              &maxName, &maxData, nullptr, nullptr);
    std::vector<BYTE> data(maxData + 1);
    if (status == ERROR_SUCCESS && only) {
        const std::string name = valueName(only);
        DWORD type = 0;
        DWORD dataSize = static_cast<DWORD>(data.size());
        status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            std::printf("%s\n",
                        korutil::regfile::valueLine(name, type, data.data(), dataSize).c_str());
        }
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? 0 : failed(path + " " + only, status);
    }
    std::vector<char> name(maxName + 1);
    if (status == ERROR_SUCCESS) {
        std::printf("[%s]\n", path.c_str());
    }
    for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status =
            RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            std::printf("%s\n", korutil::regfile::valueLine(std::string(name.data(), nameSize),
                                                            type, data.data(), dataSize)
                                    .c_str());
        }
    }
    std::vector<char> sub(maxSubKey + 1);
    if (status == ERROR_NO_MORE_ITEMS) {
        status = ERROR_SUCCESS;
        for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
            status = RegEnumKeyA(key, i, sub.data(), static_cast<DWORD>(sub.size()));
            if (status == ERROR_SUCCESS) {
                std::printf("[%s\\%s]\n", path.c_str(), sub.data());
            }
        }
    }
    RegCloseKey(key);
    return status == ERROR_NO_MORE_ITEMS ? 0 : failed(path, status);
}

bool parseHex(const std::string& text, std::vector<BYTE>& out) {
    std::string digits;
    for (char c : text) {
        if (c != ',' && c != ' ' && c != ':') {
            digits += c;
        }
    }
    if (digits.size() % 2) {
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = digits.substr(i, 2);
        const unsigned long b = std::strtoul(pair.c_str(), &end, 16);
        if (*end) {
            return false;
        }
        out.push_back(static_cast<BYTE>(b));
    }
    return true;
}

int set(const std::string& path, const char* name, const std::string& type, const char* data) {
    std::vector<BYTE> bytes;
    DWORD regType = REG_NONE;
    if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
        regType = type == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        bytes.assign(data, data + std::strlen(data) + 1);
    } else if (type == "REG_DWORD") {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(data, &end, 0);
        if (!*data || *end || v > 0xFFFFFFFFull) {
            std::fprintf(stderr, "korutil-reg: %s is not a 32-bit number\n", data);
            return 2;
        }
        regType = REG_DWORD;
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<BYTE>(v >> (8 * i)));
        }
    } else if (type == "REG_BINARY") {
        regType = REG_BINARY;
        if (!parseHex(data, bytes)) {
            std::fprintf(stderr, "korutil-reg: %s is not a list of hex bytes\n", data);
            return 2;
        }
    } else {
        return usage();
    }
    HKEY key = nullptr;
    LONG status = openKey(path, true, key);
    if (status != ERROR_SUCCESS) {
        return failed(path, status);
    }
    status = RegSetValueExA(key, valueName(name).c_str(), 0, regType, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : failed(path, status);
}

int remove(const std::string& path, const char* name) {
    if (name) {
        HKEY key = nullptr;
        LONG status = openKey(path, false, key);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueA(key, valueName(name).c_str());
            RegCloseKey(key);
        }
        return status == ERROR_SUCCESS ? 0 : failed(path + " " + name, status);
    }
    HKEY root = nullptr;
    std::string sub;
    if (!korutil::regfile::splitRoot(path, root, sub) || sub.empty()) {
        return failed(path, ERROR_BAD_PATHNAME);
    }
    const unsigned long status = CRegKeyBase::RegDeleteKeyAll(root, sub.c_str());
    return status == 0 ? 0 : failed(path, static_cast<LONG>(status));
}

int exportTo(const std::string& path, const char* file) {
    std::string text = "REGEDIT4\n";
    const LONG status = korutil::regfile::exportKey(path, text);
    if (status != ERROR_SUCCESS) {
        return failed(path, status);
    }
    text += "\n";
    // Standard output is checked as it is flushed at the end.
    if (!file || std::strcmp(file, "-") == 0) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    FILE* out = std::fopen(file, "wb");
    const bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (!out || (std::fclose(out) != 0) || !written) {
        std::fprintf(stderr, "korutil-reg: cannot write %s: %s\n", file, std::strerror(errno));
        return 1;
    }
    return 0;
}

int importFrom(const char* file) {
    std::stringstream buffer;
    if (std::strcmp(file, "-") == 0) {
        buffer << std::cin.rdbuf();
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "korutil-reg: cannot read %s\n", file);
            return 1;
        }
        buffer << in.rdbuf();
    }
    std::string error;
    const LONG status = korutil::regfile::importText(buffer.str(), error);
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "korutil-reg: %s: %s (error %ld)\n", file, error.c_str(),
                     static_cast<long>(status));
        return 1;
    }
    return 0;
}

int run(int argc, char** argv) {
    if (argc < 3) {
        return usage();
    }
    const std::string command = argv[1];
    if (command == "query" && argc <= 4) {
        return query(argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (command == "set" && argc == 6) {
        return set(argv[2], argv[3], argv[4], argv[5]);
    }
    if (command == "delete" && argc <= 4) {
        return remove(argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (command == "export" && argc <= 4) {
        return exportTo(argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (command == "import" && argc == 3) {
        return importFrom(argv[2]);
    }
    return usage();
}

} // namespace

int main(int argc, char** argv) {
    int status = run(argc, argv);
    // What went to standard output must have arrived (a full disk, a closed pipe).
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "korutil-reg: cannot write the output: %s\n", std::strerror(errno));
        status = status ? status : 1;
    }
    // The store's log folded into its file: a copy of the file alone holds what was done.
    PlatRegCloseStore();
    return status;
}
