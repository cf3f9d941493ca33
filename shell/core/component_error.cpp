#include "shell/core/component_error.h"

namespace ov::shell {

QString StatusMeaning(HRESULT hr) {
    const auto status = static_cast<quint32>(hr);
    if (status >= 0x80040200u && status <= 0x8004FFFFu) {
        const quint32 n = (status - 0x200u) & 0xFFFFu;
        if (n != 0)
            return QStringLiteral("IDispatch error #%1").arg(n);
    }
    return QStringLiteral("Unknown error 0x%1").arg(QString::number(status, 16).toUpper());
}

QString FormatComponentError(HRESULT hr, const QString& source, const QString& description,
                             const QString& file, int line) {
    return QStringLiteral(
               "捕获到COM组件异常错误:\r\n    错误代码：%1\r\n    代码含义：%2\r\n    "
               "错误来源：%3\r\n    错误描述：%4\r\n    源文件名：%5\r\n    代码行号：%6\r\n")
        .arg(static_cast<quint32>(hr), 8, 16, QLatin1Char('0'))
        .arg(StatusMeaning(hr), source, description, file)
        .arg(line);
}

}  // namespace ov::shell
