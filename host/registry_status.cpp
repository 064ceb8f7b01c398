#include "registry_status.h"

std::string RegistryStatusText(LSTATUS status) {
    std::string text = "registry status " + std::to_string(status);
    switch (status) {
        case ERROR_REGISTRY_CORRUPT:
            return text +
                   ": the registry database is damaged or is not a registry; it was left as it "
                   "is for inspection (move it aside to start afresh)";
        case ERROR_CANTOPEN:
            return text +
                   ": the registry database cannot be opened (check that it exists and "
                   "may be read)";
        case ERROR_ACCESS_DENIED:
            return text + ": access denied (the registry database may be read-only)";
        case ERROR_CANTREAD:
        case ERROR_CANTWRITE:
            return text + ": the registry database cannot be read or written";
        default:
            return text;
    }
}
