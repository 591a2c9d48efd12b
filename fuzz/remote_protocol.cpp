// The line controller's commands: the input arrives through the serial-receive handler in
// pieces (the first byte sets the piece size, 1 to 64 bytes), so that characters and command
// words split between receptions are exercised, and each reception dispatches. Traps when the
// kept text outgrows its limit or still holds a command word at the end.
#include <cstring>

#include "FuzzCommon.h"
#include "remote/FakeRemoteStation.h"
#include "remote/RemoteProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::Home();
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + data[0] % 64;
    ++data;
    --size;

    orv::test::FakeRemoteStation station;
    orv::CRemoteProtocol protocol(station, station.Pauser());
    qsizetype offset = 0;
    const auto total = qsizetype(size);
    while (offset < total) {
        const qsizetype end = std::min(total, offset + piece);
        protocol.OnSerialReceive([&](char* buffer, qsizetype n) {
            const qsizetype count = std::min(n, end - offset);
            std::memcpy(buffer, data + offset, size_t(count));
            offset += count;
            return count;
        });
        if (protocol.RemoteText().size() > orv::CRemoteProtocol::kRemoteTextLimit)
            __builtin_trap();  // garbage must not pile up
    }
    // What is kept after the receptions holds no command word: the protocol only searches the
    // text that came since its last search, and a word it overlooked would stay here.
    QString kept = protocol.RemoteText();
    kept.remove(QLatin1Char(' '));
    if (orv::FindRemoteCommand(kept) != orv::RemoteCommand::None)
        __builtin_trap();
    protocol.DispatchRemoteCommand();
    return 0;
}
