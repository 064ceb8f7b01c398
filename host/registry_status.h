// What a failed registry call's status means for the person running the host, in words.
#pragma once

#include <windows.h>

#include <string>

// "registry status N: <what it means>", e.g. for ERROR_REGISTRY_CORRUPT that the database is
// damaged and was left as it is.
std::string RegistryStatusText(LSTATUS status);
