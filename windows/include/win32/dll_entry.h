// The library entry point on Windows: the loader itself calls a DLL's DllMain, so a library
// that includes this header gets nothing added. (Linux builds get the layer's header of the
// same name, which makes the calls from the library's constructor and destructor.)
#pragma once
