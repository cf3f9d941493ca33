#include "shell/core/security_level.h"

namespace ov::shell {

SecurityLevelText SecurityLevelTexts(int level) {
    switch (level) {
        case 0:
            return {QStringLiteral("安全级别 -- 高"),
                    QStringLiteral("适合临时使用: 网吧、学校、朋友家"),
                    QStringLiteral("不在这台电脑上保存与这个帐号相关的任何信息。")};
        case 1:
            return {QStringLiteral("安全级别 -- 中高"),
                    QStringLiteral("适合公共场所: 网吧、学校、公司"),
                    QStringLiteral("加密保存个人信息，不保存密码，将无法在离线状态下使用。")};
        case 2:
            return {QStringLiteral("安全级别 -- 中"),
                    QStringLiteral("适合公共场所: 网吧、学校、公司"),
                    QStringLiteral("加密保存密码和个人信息，每次登录需要再次检查密码。")};
        case 3:
            return {QStringLiteral("安全级别 -- 中低"), QStringLiteral("适合私人专用: 家里、公司"),
                    QStringLiteral("加密保存密码和个人信息，不自动登录，以便更改登录选项。")};
        case 4:
            return {QStringLiteral("安全级别 -- 低"), QStringLiteral("适合私人专用: 家里、公司"),
                    QStringLiteral("加密保存密码和个人信息，下次启动Orvane后自动登录。")};
        default:
            return {};
    }
}

bool KeepsPassword(int level) {
    return level >= 2 && level <= 4;
}

bool LogsInAutomatically(int level) {
    return level == 4;
}

bool AllowsLocalLogin(int level) {
    return KeepsPassword(level);  // the levels above 1 are those that keep the password
}

// The full-width spaces indent each paragraph, as the dialog shows it.
QString LevelZeroDeleteQuestion() {
    return QStringLiteral(
        "\u3000\u3000您选择了不在这台电脑保存任何信息，但是系统在\n这台电脑上发现了您的以前保存的信"
        "息，是否希望系统\n现在删除这些信息？\n\u3000\u3000如果您选择“否”，系统将保留这些信息，但是"
        "不\n会保留您此次登录的任何信息。\n");
}

}  // namespace ov::shell
