#include "shell/diagnostics/shell_diagnostics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTextStream>

#include "platform/text/cp936.h"

namespace ov::shell {

namespace {

std::string Cp936(std::string_view utf8) {
    return Utf8ToCp936(utf8);
}

std::filesystem::path RegistryFolder() {
    return RegistryStore::Default().path().parent_path();
}

}  // namespace

DiagnosticsParts::DiagnosticsParts(const QString& dataHome)
    : marker(RegistryStore::Default()),
      log(std::filesystem::path(dataHome.toStdString()) / "orvane.log", Cp936) {}

ShellDiagnostics::ShellDiagnostics(const QString& dataHome, Prompts* prompts, Launcher* launcher,
                                   diagnostics::ToolkitOptions options)
    : DiagnosticsParts(dataHome),
      OVDizizIzuzuzo([&] {
          options.reportDirectory = std::filesystem::path(dataHome.toStdString()) / "reports";
          // The instance lock stands beside the marker: both are per user.
          options.lockDirectory = RegistryFolder();
          options.marker = &marker;
          options.header = [] { return ProgramHeader().toStdString(); };
          options.encode = Cp936;
          options.log = [this](const std::string& line) { log.Write(line); };
          return options;
      }()),
      prompts_(prompts),
      launcher_(launcher) {}

void ShellDiagnostics::OnAbnormalExit() {
    const auto reports = PreviousRunReports();
    if (reports.empty() || prompts_ == nullptr || launcher_ == nullptr)
        return;  // killed without a report: nothing to show
    const QString report = QString::fromStdString(reports.back().string());
    const QString folder = QFileInfo(report).absolutePath();
    if (prompts_->YesNo(
            QStringLiteral("Orvane上次没有正常退出，错误报告已经保存在“%1”。是否打开该文件夹？")
                .arg(report),
            QStringLiteral("Orvane提示")))
        launcher_->OpenFolder(folder);
}

QString ProgramHeader() {
    return QStringLiteral("%1 %2 (Build %3 %4)\r\n%5\r\n")
        .arg(QStringLiteral("Orvane"), QCoreApplication::applicationVersion(),
             QStringLiteral(__DATE__), QStringLiteral(__TIME__),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString DesktopFolder() {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = env.value(QStringLiteral("HOME"), QDir::homePath());
    QString config = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!config.startsWith(QLatin1Char('/')))
        config = home + QStringLiteral("/.config");
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&dirs);
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (!line.startsWith(QStringLiteral("XDG_DESKTOP_DIR=")))
                continue;
            QString value = line.mid(16);
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
                value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            value.replace(QStringLiteral("$HOME"), home);
            // "$HOME/" alone means the home folder itself: no desktop of its own.
            if (value.startsWith(QLatin1Char('/')) && QFileInfo(value).isDir())
                return QDir::cleanPath(value);
        }
    }
    if (QFileInfo(home + QStringLiteral("/Desktop")).isDir())
        return home + QStringLiteral("/Desktop");
    return home;
}

void ShowInternalError(Prompts& prompts, diagnostics::OVDizizIzuzuzo& toolkit,
                       const QString& desktopFolder, const std::function<void(bool)>& saving) {
    prompts.Message(QStringLiteral("Orvane发生内部错误，请"), QString(), Prompts::Icon::Stop);
    if (saving)
        saving(true);
    const bool written =
        toolkit.WriteSystemReport((desktopFolder + QStringLiteral("/OVCrash.TXT")).toStdString());
    if (saving)
        saving(false);
    if (!written) {
        // The notice would tell of a file that is not there.
        prompts.Message(QStringLiteral("无法在您的桌面创建错误日志文件“OVCrash.TXT”，请与Orvane技术"
                                       "支持人员联系：") +
                            QLatin1String(kSupportAddress),
                        QString(), Prompts::Icon::Stop);
        return;
    }
    prompts.Message(
        QStringLiteral("错误日志文件“OVCrash.TXT”已经创建到您的桌面，请将此文件发送到") +
            QLatin1String(kSupportAddress) +
            QStringLiteral("，或者与Orvane技术支持人员联系，它将帮助我们更快的找出错误的原因，在提"
                           "交此文件的同时请务必告之发生错误时的状况以及发生错误前您所做的系列操"
                           "作，谢谢！"),
        QString(), Prompts::Icon::Information);
}

}  // namespace ov::shell
