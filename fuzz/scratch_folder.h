// A scratch folder for a fuzz target's whole run: in memory where the system has /dev/shm, else in
// /tmp; removed when the run ends.
#pragma once

#include <QDir>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

inline QString FuzzScratchFolder(const char* target)
{
    static const QString folder = [target] {
        std::string inMemory = std::string("/dev/shm/") + target + "-XXXXXX";
        std::string onDisk = std::string("/tmp/") + target + "-XXXXXX";
        const char* made = ::mkdtemp(inMemory.data());
        if (made == nullptr)
            made = ::mkdtemp(onDisk.data());
        if (made == nullptr) {
            std::fprintf(stderr, "%s: no scratch folder\n", target);
            std::abort();
        }
        static std::string name = made;
        std::atexit([] { QDir(QString::fromStdString(name)).removeRecursively(); });
        return QString::fromLocal8Bit(made);
    }();
    return folder;
}
