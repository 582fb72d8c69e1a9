#include "i18n/LanguageLoader.h"
#include "i18n/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::i18n;

namespace {

class RecordingWindow : public LanguageTarget {
public:
    void SetControlText(TextId id, const QString& text) override { controls[id] = text; }
    void SetHelpText(const QString& text) override { help = text; }
    std::map<TextId, QString> controls;
    QString help;
};

QByteArray Encoded(const char* encoding, const QString& text)
{
    QStringEncoder encoder(encoding);
    return encoder(text);
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

using MakeDirectory = std::function<void(const QDir&)>;

// Makes what the current directory holds with `make`, then runs the loader there. A loader that
// hangs on what it found ends the test program: nothing could free it.
void ApplyIn(const MakeDirectory& make, InterfaceTexts& texts, RecordingWindow& window)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory.path());
    make(QDir(directory.path()));
    auto applied = std::async(std::launch::async, [&] { LanguageLoader(texts, window).ApplyLanguage(); });
    if (applied.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the loader hangs";
        std::fflush(stdout);
        std::_Exit(1);
    }
    QDir::setCurrent(previous);
}

} // namespace

// Each row: a file, and the value it gives for Exit in the LANGUAGE section (none when nullopt).
TEST(ProfileFile, ReadsTheWayDesktopIniFilesAreRead)
{
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"[LANGUAGE]\nExit=Quit", "Quit"},
        {"  [ language ]  \n  exit  =  first  \nEXIT=second", "first"},
        {"[LANGUAGE]\nExit=\"  kept blanks  \"", "  kept blanks  "},
        {"[LANGUAGE]\nExit='x'", "x"},
        {"[LANGUAGE]\nExit=\"open", "\"open"},
        {"[LANGUAGE]\nExit=", ""},
        {"Exit=before any section\n[LANGUAGE]", std::nullopt},
        {"[other]\nExit=another section\n[LANGUAGE]", std::nullopt},
        {"[LANGUAGE]\nno equals sign\n[LANGUAGE]\nExit=only the first section counts", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ProfileFile::Parse(QString::fromUtf8(text)).Value(kLanguageSection, QStringLiteral("Exit")), value)
            << text;
}

TEST(ProfileFile, DecodesEveryEncodingLanguageFilesComeIn)
{
    const QString text = QString::fromUtf8("Device_Lists=デバイス一覧");
    const QByteArray bom8 = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    const QByteArray bom16le = QByteArray("\xFF\xFE", 2) + Encoded("UTF-16LE", text);
    const QByteArray bom16be = QByteArray("\xFE\xFF", 2) + Encoded("UTF-16BE", text);
    const QByteArray shiftJis = Encoded("Shift_JIS", text);
    ASSERT_FALSE(shiftJis.isEmpty());
    for (const QByteArray& bytes : {text.toUtf8(), bom8, bom16le, bom16be, shiftJis})
        EXPECT_EQ(DecodeLanguageFileBytes(bytes), text) << bytes.toHex().toStdString();
}

// Each control's English text, which is also its key with '_' for ' '. A Shift_JIS file with CRLF
// lines gives every control a text, and the question one; the help keeps its English lines.
TEST(LanguageLoader, ReplacesTheTextsItHasAndSetsTheControlsAndTheHelp)
{
    const std::pair<TextId, QString> controls[] = {
        {TextId::DeviceLists, "Device Lists"}, {TextId::Static, "Static"}, {TextId::Dhcp, "DHCP"},
        {TextId::Name, "Name"}, {TextId::Ip, "IP"}, {TextId::Netmask, "Netmask"}, {TextId::Gateway, "Gateway"},
        {TextId::Dns1, "DNS 1"}, {TextId::Dns2, "DNS 2"}, {TextId::Port1, "Port1"}, {TextId::Mac, "MAC"},
        {TextId::SearchDevice, "Search Device"}, {TextId::Submit, "Submit"}, {TextId::Exit, "Exit"},
    };
    QString file = QString::fromUtf8("[LANGUAGE]\r\nNo_Match,_IP_and_GateWay._Are_you_continued?=続けますか？\r\n");
    for (const auto& [id, english] : controls)
        file += QString(english).replace(u' ', u'_') + QString::fromUtf8("=一覧") + english + "\r\n";
    InterfaceTexts texts;
    RecordingWindow window;
    ApplyIn([&](const QDir& here) { WriteFile(here.filePath(kLanguageFileName), Encoded("Shift_JIS", file)); }, texts,
            window);
    for (const auto& [id, english] : controls) {
        EXPECT_EQ(InterfaceTexts().Text(id), english) << "the default";
        EXPECT_EQ(window.controls[id], QString::fromUtf8("一覧") + english) << english.toStdString();
    }
    EXPECT_EQ(texts.Text(TextId::NoMatchQuestion), QString::fromUtf8("続けますか？"));
    EXPECT_EQ(window.help, QStringLiteral("To Change Device Name, IP address, and Gateway:\n"
                                          "1. Select the device on the left side.\n"
                                          "2. Change network parameter on the right side.\n"
                                          "3. Press Submit button.\n"
                                          "4. Press Search Device to re-search again.\n"
                                          "5. Double click the device to open it."));
}

// Each row: what the current directory holds, the Exit text afterwards, and whether a file was
// read: then all 14 controls are set, even when no text changed. Files named in `names` each say
// their own name as the Exit text.
TEST(LanguageLoader, ReadsOnlyARegularFileOfAtMostOneMebibyteWhateverTheCaseOfItsNameTheExactNameFirst)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const auto names = [](const QStringList& files) -> MakeDirectory {
        return [files](const QDir& here) {
            for (const QString& name : files)
                WriteFile(here.filePath(name), ("[LANGUAGE]\nExit=" + name).toUtf8());
        };
    };
    const auto content = [](const QByteArray& bytes) -> MakeDirectory {
        return [bytes](const QDir& here) { WriteFile(here.filePath(kLanguageFileName), bytes); };
    };
    const auto path = [](const QDir& here) { return here.filePath(kLanguageFileName); };
    const QByteArray head = "[LANGUAGE]\nExit=Quit\n";
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 151 + 7) % 256);
    const struct {
        const char* what;
        MakeDirectory make;
        QString exit;
        bool read;
    } cases[] = {
        {"no file", [](const QDir&) {}, "Exit", false},
        {"upper case", names({"LANGUAGE_JP.INI"}), "LANGUAGE_JP.INI", true},
        {"lower case", names({"language_jp.ini"}), "language_jp.ini", true},
        {"the exact name first", names({"LANGUAGE_JP.INI", "Language_jp.ini", "language_jp.ini"}), "Language_jp.ini", true},
        {"only names that contain it", names({"Language_jp.ini.bak", "xLanguage_jp.ini"}), "Exit", false},
        {"1 MiB", content(head + QByteArray((1 << 20) - head.size(), ';')), "Quit", true},
        {"a byte over 1 MiB", content(head + QByteArray((1 << 20) - head.size() + 1, ';')), "Exit", false},
        {"an empty file", content({}), "Exit", true},
        {"garbage", content(garbage), "Exit", true},
        {"an empty value", content("[LANGUAGE]\nExit=\n"), "Exit", true},
        {"at most 299 characters", content("[LANGUAGE]\nExit=" + QByteArray(400, 'x')), QString(299, u'x'), true},
        {"a directory", [&](const QDir& here) { here.mkdir(kLanguageFileName); }, "Exit", false},
        {"a FIFO", [&](const QDir& here) { ::mkfifo(QFile::encodeName(path(here)).constData(), 0600); }, "Exit", false},
        {"a link to a pipe", [&](const QDir& here) {
             QFile::link(QStringLiteral("/proc/self/fd/%1").arg(pipeEnds[0]), path(here));
         }, "Exit", false},
        {"a link to a device", [&](const QDir& here) {
             QFile::link(QStringLiteral("/dev/null"), path(here));
         }, "Exit", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InterfaceTexts texts;
        RecordingWindow window;
        ApplyIn(c.make, texts, window);
        EXPECT_EQ(texts.Text(TextId::Exit), c.exit);
        EXPECT_EQ(window.controls.size(), c.read ? 14u : 0u);
        EXPECT_EQ(window.controls[TextId::Exit], c.read ? c.exit : QString());
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
