// The program's side of the diagnostics in a temporary home: what a person is told after a run
// that ended badly and after an internal error, and where the files go.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>

#include "platform/text/cp936.h"
#include "shell/diagnostics/shell_diagnostics.h"
#include "shell/diagnostics/widgets/saving_file_window.h"
#include "shell/testing/recorders.h"
#include "shell/testing/temp_home.h"
#include "shell/testing/window_shot.h"

namespace ov::shell {
namespace {

using testing::LaunchRecorder;
using testing::PromptRecorder;

class ShellDiagnosticsTest : public ov::testing::TempHomeTest {
protected:
    QString DataHome() { return QString::fromStdString(Home().DataHome()); }
    QString HomeFolder() { return QString::fromStdString(Home().Root()) + "/home"; }
    std::unique_ptr<ShellDiagnostics> Start() {
        diagnostics::ToolkitOptions options;
        options.reportExceptions = false;
        options.detectHangs = false;
        auto d = std::make_unique<ShellDiagnostics>(DataHome(), &prompts_, &launcher_, options);
        d->Init();
        return d;
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    PromptRecorder prompts_;
    LaunchRecorder launcher_;
};

TEST_F(ShellDiagnosticsTest, ARunThatEndedBadlyOffersItsReportsFolderOnce) {
    // Killed without a report: nothing to offer.
    Start();
    Start();
    EXPECT_TRUE(prompts_.Boxes().empty());

    QString report;
    {
        auto run = Start();
        report = QString::fromStdString(run->ReportAssert("ok", "frame.cpp", 7, "bad").string());
        // ends without MarkCleanExit
    }
    prompts_.Answer(true);
    auto next = Start();
    ASSERT_EQ(prompts_.Boxes().size(), 1u);
    EXPECT_EQ(prompts_.Boxes()[0].text,
              "Orvane上次没有正常退出，错误报告已经保存在“" + report + "”。是否打开该文件夹？");
    EXPECT_EQ(prompts_.Boxes()[0].caption, "Orvane提示");
    EXPECT_EQ(launcher_.Opened(), QStringList{"folder " + DataHome() + "/reports"});
    next->MarkCleanExit();
    next.reset();
    prompts_.Clear();
    Start()->MarkCleanExit();
    EXPECT_TRUE(prompts_.Boxes().empty());
}

TEST_F(ShellDiagnosticsTest, AnInternalErrorPutsTheSystemReportOnTheDesktop) {
    // No desktop of its own: the home folder.
    EXPECT_EQ(DesktopFolder(), HomeFolder());
    QDir().mkpath(HomeFolder() + "/Desktop");
    EXPECT_EQ(DesktopFolder(), HomeFolder() + "/Desktop");
    QDir().mkpath(HomeFolder() + "/桌面");
    QDir().mkpath(QString::fromStdString(Home().Root()) + "/config");
    {
        QFile dirs(QString::fromStdString(Home().Root()) + "/config/user-dirs.dirs");
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    }
    const QString desktop = DesktopFolder();
    EXPECT_EQ(desktop, HomeFolder() + "/桌面");

    auto diagnostics = Start();
    QStringList saving;
    ShowInternalError(prompts_, *diagnostics, desktop,
                      [&](bool on) { saving << (on ? "shown" : "hidden"); });
    EXPECT_EQ(prompts_.Texts(),
              (QStringList{"Orvane发生内部错误，请",
                           "错误日志文件“OVCrash.TXT”已经创建到您的桌面，请将此文件发送到support@"
                           "orvane.invalid，或者与Orvane技术支持人员联系，它将帮助我们更快的找出错"
                           "误的原因，在提交此文件的同时请务必告之发生错误时的状况以及发生错误前您"
                           "所做的系列操作，谢谢！"}));
    EXPECT_EQ(saving, (QStringList{"shown", "hidden"}));
    const QString path = desktop + "/OVCrash.TXT";
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    // Code page 936, as the program's other files.
    const std::string text = Cp936ToUtf8(Read(path).toStdString());
    EXPECT_EQ(text.rfind("Orvane ", 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("系统目录: "), std::string::npos);
    EXPECT_NE(text.find("Windows目录: /\r\n"), std::string::npos);
}

TEST_F(ShellDiagnosticsTest, ADesktopThatTakesNoFileIsNotToldOfAsHoldingOne) {
    auto diagnostics = Start();
    ShowInternalError(prompts_, *diagnostics, HomeFolder() + "/no such folder");
    EXPECT_EQ(prompts_.Texts(),
              (QStringList{"Orvane发生内部错误，请",
                           "无法在您的桌面创建错误日志文件“OVCrash.TXT”，请与Orvane技术支持人员联"
                           "系：support@orvane.invalid"}));
}

TEST_F(ShellDiagnosticsTest, TheLogIsInTheDataHomeInCodePage936) {
    auto diagnostics = Start();
    diagnostics->Log().Write("捕获到COM组件异常错误:\r\n    错误代码：80040201\r\n");
    const QByteArray bytes = Read(DataHome() + "/orvane.log");
    EXPECT_TRUE(bytes.contains(QByteArray::fromStdString(
        Utf8ToCp936("捕获到COM组件异常错误:\r\n    错误代码：80040201\r\n"))));
}

TEST_F(ShellDiagnosticsTest, TheSavingWindowSaysWhatItDoes) {
    SavingFileWindow window;
    window.ShowNow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "正在保存文件...");
    for (QWidget* w : window.findChildren<QWidget*>())
        EXPECT_EQ(w->accessibleName(), "正在保存文件...");
    EXPECT_EQ(window.findChild<QProgressBar*>()->maximum(), 0);  // busy
    testing::SaveShot(&window, "saving-file");
}

}  // namespace
}  // namespace ov::shell
