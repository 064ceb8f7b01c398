// today-host options: opens the picture item's options dialog (template 500 of its library,
// export ordinal 241 as the dialog procedure) as the Today host's settings screen does, and
// works it as a person would, from the command line's options.
#pragma once

#include <map>
#include <string>

// Options: --path P, --browse P, --mode stretch|center|tile, --height N, --remove, --yes,
// --screen WxH, --library PATH, --registry FILE. Prints every message box met and how the
// dialog ended; returns 0 when it closed, 1 when it stayed open or could not be opened, 2 for
// a usage error.
int RunOptionsCommand(const std::map<std::string, std::string>& options);
