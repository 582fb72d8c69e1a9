#include "i18n/LanguageLoader.h"
#include "i18n/ProfileFile.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

// Runs the loader in a fresh current directory holding `bytes` as the language file (or no
// file when `bytes` is empty and `createFile` is false).
class LanguageFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(directory.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(directory.path());
    }
    void TearDown() override { QDir::setCurrent(previous); }

    void Write(const QByteArray& bytes, const QString& name = kLanguageFileName)
    {
        QFile file(QDir::current().filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Apply()
    {
        LanguageLoader loader(texts, window);
        loader.ApplyLanguage();
    }

    QTemporaryDir directory;
    QString previous;
    InterfaceTexts texts;
    RecordingWindow window;
};

QByteArray Encoded(const char* encoding, const QString& text)
{
    QStringEncoder encoder(encoding);
    return encoder(text);
}

const QString kJapaneseFile = QString::fromUtf8(
    "[LANGUAGE]\r\n"
    "Device_Lists=デバイス一覧\r\n"
    "Search_Device=デバイス検索\r\n"
    "No_Match,_IP_and_GateWay._Are_you_continued?=IPとゲートウェイが一致しません。続けますか？\r\n");

} // namespace

TEST(ProfileFile, ReadsTheWayDesktopIniFilesAreRead)
{
    const ProfileFile file = ProfileFile::Parse(QStringLiteral(
        "; comment=ignored\n"
        "[other]\nName=wrong section\n"
        "  [ language ]  \n"
        "  name  =  first  \n"
        "NAME=second\n"
        "Quoted=\"  kept blanks  \"\n"
        "Single='x'\n"
        "Half=\"open\n"
        "Empty=\n"
        "no equals sign\n"
        "[LANGUAGE]\nLate=only the first section counts\n"));
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("Name")), QStringLiteral("first"));
    EXPECT_EQ(file.Value(QStringLiteral("Language"), QStringLiteral("quoted")), QStringLiteral("  kept blanks  "));
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("Single")), QStringLiteral("x"));
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("Half")), QStringLiteral("\"open"));
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("Empty")), QString());
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("Late")), std::nullopt);
    EXPECT_EQ(file.Value(QStringLiteral("LANGUAGE"), QStringLiteral("comment")), std::nullopt);
    EXPECT_EQ(file.Value(QStringLiteral("missing"), QStringLiteral("Name")), std::nullopt);
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

TEST_F(LanguageFileTest, ReplacesTheTextsItHasAndSetsEveryControl)
{
    Write(Encoded("Shift_JIS", kJapaneseFile));
    Apply();
    EXPECT_EQ(texts.Text(TextId::DeviceLists), QString::fromUtf8("デバイス一覧"));
    EXPECT_EQ(texts.Text(TextId::NoMatchQuestion), QString::fromUtf8("IPとゲートウェイが一致しません。続けますか？"));
    EXPECT_EQ(texts.Text(TextId::ServerName), QStringLiteral("Server Name")) << "a missing key keeps the default";
    EXPECT_EQ(window.controls.size(), 14u);
    EXPECT_EQ(window.controls[TextId::SearchDevice], QString::fromUtf8("デバイス検索"));
    EXPECT_EQ(window.controls[TextId::Exit], QStringLiteral("Exit"));
    EXPECT_EQ(window.help, QStringLiteral("To Change Device Name, IP address, and Gateway:\n"
                                          "1. Select the device on the left side.\n"
                                          "2. Change network parameter on the right side.\n"
                                          "3. Press Submit button.\n"
                                          "4. Press Search Device to re-search again.\n"
                                          "5. Double click the device to open it."));
}

TEST_F(LanguageFileTest, FindsTheFileWhateverTheCaseOfItsNameTheExactNameFirst)
{
    const struct {
        QStringList names; // each file says its own name as the Exit text
        QString exit;
    } cases[] = {
        {{"LANGUAGE_JP.INI"}, "LANGUAGE_JP.INI"},
        {{"language_jp.ini"}, "language_jp.ini"},
        {{"LANGUAGE_JP.INI", "Language_jp.ini", "language_jp.ini"}, "Language_jp.ini"},
        {{"Language_jp.ini.bak", "xLanguage_jp.ini"}, "Exit"},
    };
    for (const auto& c : cases) {
        QTemporaryDir here;
        ASSERT_TRUE(QDir::setCurrent(here.path()));
        for (const QString& name : c.names)
            Write(("[LANGUAGE]\nExit=" + name).toUtf8(), name);
        InterfaceTexts fresh;
        LanguageLoader(fresh, window).ApplyLanguage();
        EXPECT_EQ(fresh.Text(TextId::Exit), c.exit) << c.names.join(u' ').toStdString();
    }
}

TEST_F(LanguageFileTest, UsesAtMost299CharactersAndIgnoresEmptyValues)
{
    Write(("[LANGUAGE]\nExit=" + QString(400, u'x') + "\nSubmit=\n").toUtf8());
    Apply();
    EXPECT_EQ(texts.Text(TextId::Exit).size(), 299);
    EXPECT_EQ(texts.Text(TextId::Submit), QStringLiteral("Submit"));
}

TEST_F(LanguageFileTest, AnEmptyOrUnreadableFileChangesNoTextButStillCountsAsPresent)
{
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 151 + 7) % 256);
    for (const QByteArray& bytes : {QByteArray(), garbage}) {
        Write(bytes);
        Apply();
        EXPECT_EQ(texts.Text(TextId::DeviceLists), QStringLiteral("Device Lists"));
        EXPECT_EQ(window.controls[TextId::DeviceLists], QStringLiteral("Device Lists"));
    }
}

TEST_F(LanguageFileTest, NothingButARegularFileOfAtMostOneMebibyteIsRead)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const QString path = directory.filePath(kLanguageFileName);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"no file", [] {}},
        {"over 1 MiB", [&] { Write("[LANGUAGE]\nExit=Quit\n" + QByteArray(1 << 20, ';')); }},
        {"a directory", [&] { QDir(directory.path()).mkdir(kLanguageFileName); }},
        {"a FIFO", [&] { ::mkfifo(QFile::encodeName(path).constData(), 0600); }},
        {"a link to a pipe", [&] { QFile::link(QStringLiteral("/proc/self/fd/%1").arg(pipeEnds[0]), path); }},
        {"a link to a device", [&] { QFile::link(QStringLiteral("/dev/null"), path); }},
    };
    for (const auto& [kind, make] : cases) {
        QFile::remove(path);
        QDir(directory.path()).rmdir(kLanguageFileName);
        make();
        auto applied = std::async(std::launch::async, [this] { Apply(); });
        if (applied.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << kind << " holds the loader";
            // Let it go: a writer for the FIFO, the end of the pipe.
            platform::UniqueFd writer(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
            writer.Reset();
            ::close(std::exchange(pipeEnds[1], -1));
            applied.wait();
        }
        EXPECT_EQ(texts.Text(TextId::Exit), QStringLiteral("Exit")) << kind;
        EXPECT_TRUE(window.controls.empty()) << kind;
    }
    ::close(pipeEnds[0]);
    if (pipeEnds[1] >= 0)
        ::close(pipeEnds[1]);
}
