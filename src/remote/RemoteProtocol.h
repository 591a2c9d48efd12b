#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The line controller's protocol: plain ASCII command words without framing, answered with
// short texts that carry no line end, no length and no checksum.
namespace orv {

// The command words in the order they are searched; the first one found runs.
enum class RemoteCommand {
    None,
    AutoConnect,
    SearchConnect,
    MacConnect,
    Disconnect,
    Hfp,
    A2dp,
    Rssi,
    Name,
    Battery,
    MacAddr,
    Reset,
    AnswerCall,
    EndCall,
    VolumeAdd,
    VolumeDel,
    Volume,
    ReadInfo,
    StartKey,
    StopKey,
};

// The word as the controller sends it ("AUTOCONNECT"); "" for None.
const char* RemoteCommandWord(RemoteCommand command);

// The first command word, in table order, found as a case-sensitive substring anywhere in
// `text` (blanks must already be removed).
RemoteCommand FindRemoteCommand(const QString& text);

// MACCONNECT's argument: the text after the first ':' of `compact` (the whole text when it has
// none), with every full-width colon U+FF1A turned into ':'.
QString RemoteMacArgument(const QString& compact);

// True when `text` reads as exactly six bytes of hex pairs (either case), blanks and ':' skipped
// between pairs; reading stops at the first other character, so trailing line ends are allowed.
bool IsRemoteMacText(const QString& text);

// Unsolicited key texts for the key codes of the key test: 1 "VOL+", 2 "VOL-", 3 "PLAY/PAUSE",
// 4 "NEXT", 5 "PREVIOUS"; "" for any other code.
QString RemoteKeyText(int keyCode);

// The six READINFO fields as the device list shows them (the link state's display texts).
struct RemoteInfo {
    QString name;
    QString mac;
    QString mode;     // "HFP", "Dial", "Ring", "A2DP" or ""
    QString volume;   // "%d" or ""
    QString battery;  // "%d" when above 0, else ""
    QString rssi;     // "%d" when -127 <= RSSI < 20, else ""
};

// Joined with "," and no trailing separator: always five commas.
QString FormatRemoteInfo(const RemoteInfo& info);

// What the commands press and read on the station. The station window implements it; every call
// is made on the station's own thread, inside its serial-receive handler.
class IRemoteStation {
public:
    virtual ~IRemoteStation() = default;

    // Button handlers, run exactly as if the operator clicked them.
    virtual void PressAutoPair() = 0;
    virtual void PressSearchPair() = 0;
    // Puts `mac` (already checked) into the MAC edit, then runs the MAC pair button.
    virtual void PressMacPair(const QString& mac) = 0;
    // The MAC given was invalid: raise the main window, focus and empty the MAC edit so that the
    // operator can type it.
    virtual void PromptForMac() = 0;
    virtual void PressDisconnect() = 0;
    virtual void PressHfpMode() = 0;
    virtual void PressA2dpMode() = 0;
    virtual void PressDialMode() = 0;
    virtual void PressVolumeUp() = 0;
    virtual void PressVolumeDown() = 0;
    virtual void PressKeyStart() = 0;
    virtual void PressKeyStop() = 0;
    // Reset without the button's message box: log "Clicked Button Reset", InitModule,
    // BluetoothLabel string 166 red, RefreshDeviceList, focus and select-all in the MAC edit.
    virtual void ResetFromRemote() = 0;
    virtual void RefreshDeviceList() = 0;

    // Adapter link operations.
    virtual int AudioState() = 0;            // 1 A2DP streaming, 2 SCO audio open, ...
    virtual QString QueryName() = 0;         // asks the headset; blocks up to 3 s; "" on time-out
    virtual int RefreshInfo() = 0;           // 1 when the module was asked
    virtual int SetHfpVolume(int gain) = 0;  // 0..15
    virtual int SetA2dpVolume(int volume) = 0;  // 0..100

    // Link state, as stored (no module traffic).
    virtual QString RssiText() = 0;     // "%d" when -127 <= RSSI < 20, else ""
    virtual QString BatteryText() = 0;  // "%d" when above 0, else ""
    virtual QString TargetMac() = 0;
    virtual RemoteInfo ReadInfo() = 0;

    // Writes one reply to the remote port; dropped when the port is closed.
    virtual void WriteRemote(const QByteArray& bytes) = 0;
};

// Receives the controller's text, runs the command words on the station and writes the replies.
// Lives on the station's thread; not thread-safe. The station wires it to its CnComm:
//   connect(&comm, &CnComm::Received, this, [this](int port) {
//       if (port == comm.Port())
//           protocol.OnSerialReceive([this](char* b, qsizetype n) {
//               return comm.ReadBuffered(b, n); });
//   });
//   WriteRemote(bytes) { comm.Write(bytes); }  // Write returns 0 (drops) when closed
// and calls OnHeadsetConnected / OnKeyPressed from its link-event handler.
class CRemoteProtocol final {
public:
    // Pauses between replies are the module's pacing and block the calling thread; the pause
    // function gets milliseconds. The default sleeps.
    using PauseFunction = std::function<void(int ms)>;

    // RemoteText keeps at most this many characters when no command word was found: more than
    // any command with its argument, so garbage from the controller cannot fill memory.
    static constexpr qsizetype kRemoteTextLimit = 4096;
    // The port's receive buffer is drained in pieces of this many bytes...
    static constexpr qsizetype kReadPiece = 1023;
    // ...and at most this many bytes per reception, so that a flood cannot hold the station's
    // thread; the port announces what is left with another reception.
    static constexpr qsizetype kDrainLimit = 64 * 1024;

    explicit CRemoteProtocol(IRemoteStation& station, PauseFunction pause = {});

    // The serial-receive handler: drains `read` (which takes up to n buffered bytes into the
    // buffer and returns the count), appends to RemoteText and dispatches. A command found
    // empties RemoteText; otherwise only its last kRemoteTextLimit characters are kept.
    void OnSerialReceive(const std::function<qsizetype(char* buffer, qsizetype n)>& read);

    // Appends received bytes (the local 8-bit encoding, UTF-8) to RemoteText. A character whose
    // bytes are split between receptions is held back until the rest arrives.
    void AppendReceived(const char* bytes, qsizetype n);

    // Looks for a command word in RemoteText and runs the first one found; true when one was.
    bool DispatchRemoteCommand();

    // Unsolicited texts: "OK" when a headset connection completes, the key texts of the key
    // test page.
    void OnHeadsetConnected();
    void OnKeyPressed(int keyCode);

    // Writes one reply, converted to the local 8-bit encoding, unchanged otherwise.
    void SendText(const QString& text);

    const QString& RemoteText() const { return m_remoteText; }

private:
    void Pause(int ms);
    void Run(RemoteCommand command, const QString& compact);
    void TrimRemoteText();

    IRemoteStation& m_station;
    PauseFunction m_pause;
    QString m_remoteText;
    // Leading characters of m_remoteText searched already and holding no command word: the
    // next search only looks where a word could end in what came since.
    qsizetype m_searched = 0;
    QByteArray m_partial;  // the first bytes of a character whose rest has not arrived yet
};

}  // namespace orv
