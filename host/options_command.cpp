// today-host options: the command line gives the person's actions, in the order a person would
// perform them:
//   --path P     types P into the path field (1001)
//   --browse P   presses the browse button (1002) and chooses P in the file-open dialog
//   --mode M     chooses the placement in the combo box (1003)
//   --height N   types N into the height field (1004)
// then presses the shell's OK button and dismisses a warning with OK; or, with --remove,
// presses the removal button (1000), answers the confirmation (OK with --yes, otherwise
// Cancel) and, after OK, the notice that follows. A dialog that is still open when the actions
// run out (a refused input, a cancelled removal) is reported, and the command fails.
#include "options_command.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "host_platform.h"
#include "item_registration.h"
#include "options_dialog_driver.h"
#include "picture_settings.h"
#include "pocketpc.h"
#include "text.h"

namespace {

const char* Find(const std::map<std::string, std::string>& options, const char* name) {
    auto found = options.find(name);
    return found == options.end() ? nullptr : found->second.c_str();
}

int Usage(const std::string& message) {
    fprintf(stderr, "today-host options: %s; see 'today-host options --help'\n", message.c_str());
    return 2;
}

// The height field takes digits only (ES_NUMBER) and three of them at most, so what a person
// types is not always what it keeps. After a confirmed dialog the saved height is what it kept;
// a line says so when that is not what was typed.
void PrintKeptHeight(const WideString& typed) {
    PictureSettings settings = DefaultPictureSettings();
    if (LoadPictureSettings(&settings) != ERROR_SUCCESS) return;
    const std::string kept = std::to_string(settings.height);
    const std::string text = WideToUtf8(typed.c_str());
    bool plain = !text.empty() && text.size() <= 3;
    for (char c : text) plain = plain && c >= '0' && c <= '9';
    if (!plain) {
        printf("Height field: typed \"%s\", it kept \"%s\" (it takes digits only, at most 3)\n",
               text.c_str(), kept.c_str());
    }
}

// The item's library: --library, else the one its registration names, else the one built
// with this host.
std::string ItemLibrary(const std::map<std::string, std::string>& options) {
    if (const char* library = Find(options, "--library")) return library;
    std::vector<TodayItemRegistration> items;
    if (ReadTodayItems(&items) == ERROR_SUCCESS) {
        for (const TodayItemRegistration& item : items) {
            if (item.name == TEXT("Lumetta")) return WideToUtf8(item.library.c_str());
        }
    }
    return DefaultItemLibrary();
}

const char* AnswerName(int answer) {
    switch (answer) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        case 0:
            return "none (left open)";
        default:
            return "other";
    }
}

void PrintMessageBoxes(const std::vector<ShownMessageBox>& boxes) {
    for (const ShownMessageBox& box : boxes) {
        printf("Message box: %s\n", box.text.c_str());
        printf("  caption: %s%s\n", box.caption.c_str(),
               box.default_caption ? " (none given: the platform's default)" : "");
        printf("  type: 0x%02X, answered: %s\n", box.type, AnswerName(box.answer));
    }
}

bool ParseScreenSize(const std::string& text, int* width, int* height) {
    int w = 0;
    int h = 0;
    char rest = 0;
    if (sscanf(text.c_str(), "%dx%d%c", &w, &h, &rest) != 2 || w < 1 || h < 1 || w > 4096 ||
        h > 4096)
        return false;
    *width = w;
    *height = h;
    return true;
}

}  // namespace

int RunOptionsCommand(const std::map<std::string, std::string>& options) {
    OptionsActions actions = {};
    actions.remove = options.count("--remove") != 0;
    actions.yes = options.count("--yes") != 0;
    if (actions.yes && !actions.remove)
        return Usage("--yes answers the removal's confirmation; give --remove");
    actions.mode = -1;
    if (const char* text = Find(options, "--mode")) {
        static const char* const kModes[] = {"stretch", "center", "tile"};
        for (int i = 0; i < 3; ++i) {
            if (std::string(text) == kModes[i]) actions.mode = i;
        }
        if (actions.mode < 0)
            return Usage(std::string("--mode is stretch, center or tile, not '") + text + "'");
    }
    const char* path_text = Find(options, "--path");
    const char* browse_text = Find(options, "--browse");
    const char* height_text = Find(options, "--height");
    actions.type_path = path_text != nullptr;
    actions.browse = browse_text != nullptr;
    actions.type_height = height_text != nullptr;
    if ((path_text != nullptr && !Utf8ToWide(path_text, &actions.path)) ||
        (browse_text != nullptr && !Utf8ToWide(browse_text, &actions.browse_path)) ||
        (height_text != nullptr && !Utf8ToWide(height_text, &actions.height)))
        return Usage("the options' text is not valid UTF-8");
    actions.person = !actions.type_path && !actions.browse && actions.mode < 0 &&
                     !actions.type_height && !actions.remove;
    if (const char* delay = Find(options, "--delay")) {
        char* end = nullptr;
        long value = strtol(delay, &end, 10);
        if (*delay == '\0' || *end != '\0' || value < 0 || value > 60000)
            return Usage(std::string("--delay wants milliseconds from 0 to 60000, not '") + delay +
                         "'");
        actions.delay_ms = static_cast<int>(value);
    }
    int screen_width = 240;
    int screen_height = 320;
    if (const char* screen = Find(options, "--screen")) {
        if (!ParseScreenSize(screen, &screen_width, &screen_height))
            return Usage(std::string("--screen wants WIDTHxHEIGHT (1 to 4096 each), not '") +
                         screen + "'");
    }
    UseRegistryFile(Find(options, "--registry"));
    SetEmulatedScreenSize(screen_width, screen_height);

    std::string library_path = ItemLibrary(options);
    WideString library;
    Utf8ToWide(library_path, &library);
    HMODULE module = LoadLibraryW(library.c_str());
    if (module == nullptr) {
        fprintf(stderr, "today-host options: cannot load the item library '%s'\n",
                library_path.c_str());
        return 1;
    }
    auto procedure = reinterpret_cast<DLGPROC>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
    if (procedure == nullptr) {
        fprintf(stderr, "today-host options: '%s' has no export ordinal 241\n",
                library_path.c_str());
        FreeLibrary(module);
        return 1;
    }

    OptionsOutcome outcome = {};
    DriveOptionsDialog(module, procedure, actions, &outcome);
    PrintMessageBoxes(outcome.message_boxes);
    int status = 0;
    if (outcome.stayed_open) {
        printf("Dialog stayed open: nothing more to do\n");
        status = 1;
    } else if (outcome.result == -1) {
        printf("Dialog could not be opened\n");
        status = 1;
    } else {
        printf("Dialog closed with result %ld\n", static_cast<long>(outcome.result));
        // The removal closes it without saving; OK saves what the fields hold.
        if (actions.type_height && !actions.remove) PrintKeptHeight(actions.height);
    }
    // Actions left over mean that the dialog ended before the person was done; the warning's
    // answer is left over whenever no warning came.
    int pending = outcome.pending;
    if (pending > 0 && !(pending == 1 && !actions.remove && !outcome.stayed_open)) {
        printf("%d action%s not performed\n", pending, pending == 1 ? "" : "s");
    }
    FreeLibrary(module);
    return status;
}
