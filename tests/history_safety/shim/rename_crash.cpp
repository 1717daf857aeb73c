// Preloaded into the program, this makes it die by SIGKILL at the moment it would rename a
// finished temporary over "met.mtb": the state a crash or power loss leaves between the write
// and the rename.
#include <csignal>
#include <cstring>
#include <dlfcn.h>

extern "C" int rename(const char* from, const char* to)
{
    const char* name = std::strrchr(to, '/');
    name = name != nullptr ? name + 1 : to;
    if (std::strcmp(name, "met.mtb") == 0)
        std::raise(SIGKILL);
    using TRename = int (*)(const char*, const char*);
    static const auto next = reinterpret_cast<TRename>(::dlsym(RTLD_NEXT, "rename"));
    return next != nullptr ? next(from, to) : -1;
}
