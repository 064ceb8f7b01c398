// today-host: a stand-in for the Pocket PC Today host, for trying Today items on Linux (on the
// Win32-subset layer) and on Windows. It registers and unregisters an item as an installer does,
// writes the picture item's settings, renders the Today screen to a PNG file and works the
// item's options dialog.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host_platform.h"
#include "item_registration.h"
#include "options_command.h"
#include "picture_check.h"
#include "picture_settings.h"
#include "png_writer.h"
#include "registry_status.h"
#include "text.h"
#include "today_screen.h"

namespace {

const char* const kItemName = kPictureItemName;

struct Command {
    const char* name;
    const char* summary;
    const char* usage;                 // the options, for --help, up to --registry's text
    const char* notes;                 // what --help says after the options
    std::vector<const char*> options;  // the options it takes, each with a value
    int (*run)(const std::map<std::string, std::string>& options);
    std::vector<const char*> flags = {};  // the options it takes without a value
};

int Fail(const std::string& message) {
    fprintf(stderr, "today-host: %s\n", message.c_str());
    return 1;
}

// One line on stderr for a command line that cannot be carried out: the problem, and where the
// command's whole usage is.
int UsageError(const char* command, const std::string& message) {
    fprintf(stderr, "today-host %s: %s; see 'today-host %s --help'\n", command, message.c_str(),
            command);
    return 2;
}

// The emulated screen's size: WIDTHxHEIGHT, 1 to 4096 each.
bool ParseScreen(const std::string& text, int* width, int* height);

// The lower-case extension of a file name, from its last '.', or "" when it has none.
std::string ExtensionOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension;
}

bool ParseInt(const std::string& text, long low, long high, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

const char* Option(const std::map<std::string, std::string>& options, const char* name) {
    auto found = options.find(name);
    return found == options.end() ? nullptr : found->second.c_str();
}

// Every command takes --registry: on Linux the registry database file to use instead of the
// layer's default.
void UseRegistry(const std::map<std::string, std::string>& options) {
    UseRegistryFile(Option(options, "--registry"));
}

int RunInstall(const std::map<std::string, std::string>& options) {
    UseRegistry(options);
    const char* library = Option(options, "--library");
    std::string library_path = library != nullptr ? library : DefaultItemLibrary();
    std::error_code failure;
    std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(library_path), failure);
    if (failure || !std::filesystem::is_regular_file(absolute, failure))
        return UsageError("install", "no library at '" + library_path + "'");
    long order = 100;
    if (const char* text = Option(options, "--order")) {
        if (!ParseInt(text, 0, 0x7FFFFFFF, &order))
            return UsageError("install", std::string("--order wants a number, not '") + text + "'");
    }
    TodayItemRegistration item;
    if (!Utf8ToWide(kItemName, &item.name) || !Utf8ToWide(PathToUtf8(absolute), &item.library))
        return UsageError("install", "the library path is not valid UTF-8");
    if (item.library.size() >= MAX_PATH)
        return UsageError("install", "the library path is longer than 259 characters");
    item.enabled = 1;
    item.order = static_cast<DWORD>(order);
    item.type = TODAY_ITEM_TYPE_CUSTOM;
    item.options = 1;
    item.flags = 0;
    LSTATUS status = WriteTodayItem(item);
    if (status != ERROR_SUCCESS)
        return Fail("cannot write the registration (" + RegistryStatusText(status) + ")");
    printf("Registered Today item %s: %s\n", kItemName, PathToUtf8(absolute).c_str());
    return 0;
}

int RunUninstall(const std::map<std::string, std::string>& options) {
    UseRegistry(options);
    WideString name;
    Utf8ToWide(kItemName, &name);
    LSTATUS status = DeleteTodayItem(name);
    if (status == ERROR_FILE_NOT_FOUND) {
        printf("Today item %s was not registered\n", kItemName);
        return 0;
    }
    if (status != ERROR_SUCCESS)
        return Fail("cannot remove the registration (" + RegistryStatusText(status) + ")");
    printf("Removed Today item %s\n", kItemName);
    return 0;
}

int RunSet(const std::map<std::string, std::string>& options) {
    const char* path = Option(options, "--path");
    const char* mode = Option(options, "--mode");
    const char* height = Option(options, "--height");
    if (path == nullptr && mode == nullptr && height == nullptr)
        return UsageError("set", "give at least one of --path, --mode and --height");

    // Every argument is checked before the registry is opened.
    static const std::map<std::string, DrawMode> kModes = {
        {"stretch", DrawMode::Stretch}, {"center", DrawMode::Center}, {"tile", DrawMode::Tile}};
    DrawMode new_mode = DrawMode::Stretch;
    if (mode != nullptr) {
        auto found = kModes.find(mode);
        if (found == kModes.end())
            return UsageError("set",
                              std::string("--mode is stretch, center or tile, not '") + mode + "'");
        new_mode = found->second;
    }
    // The options dialog's rule for the height: its field holds up to three digits, and it
    // accepts 1 to the screen's height.
    int screen_width = 240;
    int screen_height = 320;
    if (const char* screen = Option(options, "--screen")) {
        if (!ParseScreen(screen, &screen_width, &screen_height))
            return UsageError("set", std::string("--screen wants WIDTHxHEIGHT (1 to 4096 each), "
                                                 "not '") +
                                         screen + "'");
    }
    const long highest = screen_height < 999 ? screen_height : 999;
    long new_height = 0;
    if (height != nullptr && !ParseInt(height, 1, highest, &new_height)) {
        std::string why = "the options dialog's rule on a " + std::to_string(screen_width) + "x" +
                          std::to_string(screen_height) + " screen";
        if (highest < screen_height) why += ", whose field holds 3 digits";
        if (Option(options, "--screen") == nullptr) why += "; give --screen for another size";
        return UsageError("set", "--height wants a number of pixels from 1 to " +
                                     std::to_string(highest) + " (" + why + "), not '" + height +
                                     "'");
    }
    WideString new_path;
    if (path != nullptr) {
        std::error_code failure;
        std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), failure);
        if (failure || !std::filesystem::exists(absolute, failure))
            return UsageError("set", std::string("no file at '") + path + "'");
        if (std::filesystem::is_directory(absolute, failure))
            return UsageError(
                "set", std::string("'") + path + "' is a folder; give the picture file in it");
        if (!Utf8ToWide(PathToUtf8(absolute), &new_path))
            return UsageError("set", "the path is not valid UTF-8");
        if (new_path.size() >= MAX_PATH)
            return UsageError("set", "the path is longer than 259 characters");
    }

    UseRegistry(options);
    PictureSettings settings = DefaultPictureSettings();
    LoadPictureSettings(&settings);
    if (mode != nullptr) settings.mode = new_mode;
    if (height != nullptr) settings.height = static_cast<int32_t>(new_height);
    if (path != nullptr) {
        std::fill(std::begin(settings.path), std::end(settings.path), 0);
        new_path.copy(settings.path, new_path.size());
    }
    LSTATUS status = SavePictureSettings(&settings);
    if (status != ERROR_SUCCESS)
        return Fail("cannot save the settings (" + RegistryStatusText(status) + ")");
    static const char* const kModeNames[] = {"stretch", "center", "tile"};
    int32_t mode_value = static_cast<int32_t>(settings.mode);
    printf("Picture: %s\nMode: %s\nHeight: %d\n",
           settings.path[0] != 0 ? WideToUtf8(settings.path).c_str() : "(none)",
           mode_value >= 0 && mode_value <= 2 ? kModeNames[mode_value] : "(unknown)",
           settings.height);
    return 0;
}

bool ParseScreen(const std::string& text, int* width, int* height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    long w = 0;
    long h = 0;
    if (!ParseInt(text.substr(0, x), 1, 4096, &w) || !ParseInt(text.substr(x + 1), 1, 4096, &h))
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

int RunShow(const std::map<std::string, std::string>& options) {
    const char* out = Option(options, "--out");
    if (out == nullptr) return UsageError("show", "--out FILE is required");
    if (ExtensionOf(out) != ".png") {
        const std::string extension = ExtensionOf(out);
        return UsageError("show", std::string("--out '") + out + "' " +
                                      (extension.empty() ? "has no extension"
                                                         : "names a " + extension + " file") +
                                      ", but the screen is written as PNG only: name it .png");
    }
    int width = 240;
    int height = 320;
    if (const char* screen = Option(options, "--screen")) {
        if (!ParseScreen(screen, &width, &height))
            return UsageError("show", std::string("--screen wants WIDTHxHEIGHT (1 to 4096 each), "
                                                  "not '") +
                                          screen + "'");
    }
    long hold = 0;
    if (const char* text = Option(options, "--hold")) {
        if (!ParseInt(text, 0, 3600, &hold))
            return UsageError("show", std::string("--hold wants a number of seconds from 0 to "
                                                  "3600, not '") +
                                          text + "'");
    }
    TodayFrame frame;
    if (const char* time = Option(options, "--time")) {
        if (!ParseTodayTime(time, &frame))
            return UsageError("show",
                              std::string("--time wants \"YYYY-MM-DD HH:MM\", not '") + time + "'");
    }
    if (const char* owner = Option(options, "--owner")) frame.owner = owner;
    const bool bare = Option(options, "--bare") != nullptr;
    UseRegistry(options);
    TodayScreen screen;
    std::string error;
    if (!RenderTodayScreen(width, height, bare ? nullptr : &frame, static_cast<int>(hold), &screen,
                           &error))
        return Fail(error);
    for (const std::string& warning : screen.warnings)
        fprintf(stderr, "today-host: %s\n", warning.c_str());
    if (!WritePng(out, width, height, screen.pixels, &error)) return Fail(error);
    printf("Wrote %s: %dx%d, %d item%s\n", out, width, height, screen.items_shown,
           screen.items_shown == 1 ? "" : "s");
    return 0;
}

// Options for watching the host's windows: only where a screen shows them.
#ifdef _WIN32
#define SHOW_HOLD_OPTION "--hold",
#define SHOW_HOLD_USAGE \
    "  --hold SECONDS    leave the Today screen shown for that long after writing\n"
#define OPTIONS_DELAY_OPTION "--delay",
#define OPTIONS_DELAY_USAGE \
    "  --delay MS                    wait that long before each action, to follow it\n"
#define OPTIONS_NO_ACTIONS_NOTE                                                        \
    "Without actions the dialog waits for a person (Enter is the shell's OK, Escape\n" \
    "leaves).\n"
#else
#define SHOW_HOLD_OPTION
#define SHOW_HOLD_USAGE
#define OPTIONS_DELAY_OPTION
#define OPTIONS_DELAY_USAGE
// No person can reach the dialog on Linux: it is confirmed as it opened.
#define OPTIONS_NO_ACTIONS_NOTE                                                                \
    "Without actions it presses OK at once, as no person can reach the dialog here: the\n"     \
    "stored settings are checked as the dialog checks them and, when they pass, saved again\n" \
    "unchanged; when they fail, the message box is printed and the command fails.\n"
#endif

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"install",
         "register the picture item with the Today host",
         "  --library PATH   the item's library (default: the one built with this host)\n"
         "  --order N        its place in the list (default 100)\n"
         "  --registry FILE  ",
         "",
         {"--library", "--order", "--registry"},
         RunInstall},
        {"uninstall",
         "remove the picture item's registration",
         "  --registry FILE  ",
         "",
         {"--registry"},
         RunUninstall},
        {"set",
         "write the picture item's settings",
         "  --path FILE                   the picture: a .bmp file, or a .jpg/.jpeg file\n"
         "  --mode stretch|center|tile    how the picture is placed in the item\n"
         "  --height N                    the item's height in pixels: 1 to the screen's height\n"
         "                                (at most 999), as the options dialog accepts\n"
         "  --screen WxH                  the screen that --height is checked against (default\n"
         "                                240x320)\n"
         "  --registry FILE               ",
         "Settings not given keep their stored values. A folder is refused as --path.\n",
         {"--path", "--mode", "--height", "--screen", "--registry"},
         RunSet},
        {"show",
         "render the Today screen with every enabled item to a PNG file",
         "  --out FILE.png    the PNG file to write (required; other extensions are refused)\n"
         "  --screen WxH      the screen size in pixels (default 240x320)\n"
         "  --time 'YYYY-MM-DD HH:MM'\n"
         "                    the date and clock shown (default 2002-03-14 09:41)\n"
         "  --owner TEXT      the owner line (default: the device's invitation to set it)\n"
         "  --bare            only the items, from the top of a white screen\n" SHOW_HOLD_USAGE
         "  --registry FILE   ",
         "The screen is the Pocket PC 2002 Today screen: the navigation bar, the date and\n"
         "owner lines, the items below them and the command bar. For an item that shows no\n"
         "picture (a white item), or shows it wrongly (a JPEG whose data ends early, an OS/2\n"
         "bitmap, a bitmap cut short), one line on stderr says why; the screen is written all\n"
         "the same.\n",
         {"--out", "--screen", "--time", "--owner", SHOW_HOLD_OPTION "--registry"},
         RunShow,
         {"--bare"}},
        {"options",
         "open the picture item's options dialog and work it as a person would",
         "  --path FILE                   type FILE into the picture field\n"
         "  --browse FILE                 press the browse button and choose FILE\n"
         "  --mode stretch|center|tile    choose the placement\n"
         "  --height N                    type N into the height field\n"
         "  --remove                      press the removal button instead of OK\n"
         "  --yes                         confirm the removal (otherwise it is cancelled)\n"
         "  --screen WxH                  the screen size in pixels (default 240x320)\n"
         // clang-format off
         "  --library PATH                the item's library (default: the registered one)\n"
         OPTIONS_DELAY_USAGE
         "  --registry FILE               ",
         // clang-format on
         OPTIONS_NO_ACTIONS_NOTE
         "Prints every message box met; fails when the dialog stays open. The height field\n"
         "takes digits only, at most 3 of them: what it kept of --height is printed when that\n"
         "differs from what was typed.\n",
         {"--path", "--browse", "--mode", "--height", "--screen", "--library",
          OPTIONS_DELAY_OPTION "--registry"},
         RunOptionsCommand,
         {"--remove", "--yes"}},
    };
    return commands;
}

void PrintUsage(FILE* stream) {
    fprintf(stream,
            "Usage: today-host COMMAND [OPTIONS]\n"
            "An emulated Pocket PC Today host for trying Today items.\n\nCommands:\n");
    for (const Command& command : Commands())
        fprintf(stream, "  %-10s %s\n", command.name, command.summary);
    fprintf(stream, "\nSee 'today-host COMMAND --help' for a command's options.\n");
    fprintf(stream, "'today-host --version' prints the version of the package.\n");
}

void PrintCommandUsage(const Command& command) {
    printf("Usage: today-host %s [OPTIONS]\n%c%s.\n\nOptions:\n%s%s\n%s", command.name,
           command.summary[0] - ('a' - 'A'), command.summary + 1, command.usage,
           kRegistryOptionHelp, command.notes);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Texts are printed in UTF-8 (on a console too).
    SetConsoleOutputCP(CP_UTF8);
#endif
    const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    argc = static_cast<int>(arguments.size());
    if (argc < 2) {
        fprintf(stderr,
                "today-host: give a command (install, uninstall, set, show or options); "
                "see 'today-host --help'\n");
        return 2;
    }
    std::string name = arguments[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    // The package's version (the project's); the libraries' version resources are their own.
    if (name == "--version") {
        printf("today-host (varnel-lumetta) %s\n", TODAY_HOST_VERSION);
        return 0;
    }
    const Command* command = nullptr;
    for (const Command& candidate : Commands()) {
        if (name == candidate.name) command = &candidate;
    }
    if (command == nullptr) {
        fprintf(stderr, "today-host: unknown command '%s'; see 'today-host --help'\n",
                name.c_str());
        return 2;
    }
    std::map<std::string, std::string> options;
    for (int i = 2; i < argc; ++i) {
        std::string argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            PrintCommandUsage(*command);
            return 0;
        }
        std::string value;
        bool has_value = false;
        size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            has_value = true;
        }
        bool flag = false;
        for (const char* known_flag : command->flags) flag = flag || argument == known_flag;
        if (flag) {
            if (has_value) return UsageError(command->name, argument + " takes no value");
            options[argument] = "";
            continue;
        }
        bool known = false;
        for (const char* option : command->options) known = known || argument == option;
        if (!known) {
            const bool option = argument.rfind("-", 0) == 0;
            return UsageError(
                command->name,
                (option ? "unknown option '" : "unexpected argument '") + argument + "'");
        }
        if (!has_value) {
            if (i + 1 >= argc) return UsageError(command->name, argument + " needs a value");
            value = arguments[++i];
        }
        options[argument] = value;
    }
    return command->run(options);
}
