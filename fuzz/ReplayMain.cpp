// Runs files through a fuzz target without libFuzzer, so the normal test run replays the corpus.
// Arguments are files or folders (every regular file inside, in name order). Exits non-zero when
// nothing was replayed; a fault in the target aborts the process as it would under libFuzzer.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    // A copy of exactly the input's size, so that AddressSanitizer sees a read past its end.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int ran = 0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QFileInfo info(arg);
        if (info.isDir()) {
            const QFileInfoList files =
                QDir(arg).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
            for (const QFileInfo& f : files)
                RunFile(f.filePath()) ? ++ran : ++failed;
        } else {
            RunFile(arg) ? ++ran : ++failed;
        }
    }
    std::printf("replayed %d input(s), %d unreadable\n", ran, failed);
    return ran > 0 && failed == 0 ? 0 : 1;
}
