#include "logpagefixture.h"

#include <QFile>

using namespace Qt::StringLiterals;

LogPageFixture::LogPageFixture(QObject* parent)
    : QObject(parent)
    , m_rig(m_folder.filePath(u"Logs"_s))
    , m_context(m_rig.analytics, *m_rig.workspace, m_clipboard)
{
    m_rig.makeStore();
}

QVariant LogPageFixture::makeSelection(const QString& title, int port, const QString& output, int fillerBytes,
                                       bool removed)
{
    QByteArray bytes;
    while (bytes.size() < fillerBytes)
        bytes += "12:0" + QByteArray::number(bytes.size() % 10) + ":31 [vite] page reload src/routes/item-" +
                 QByteArray::number(bytes.size()) + ".tsx\n";
    bytes += output.toUtf8();
    const ServerLogSession session = m_rig.sessionWithLog(u"/home/dev/"_s + title, bytes);
    if (removed)
        QFile::remove(session.fileURL.toLocalFile());
    return QVariant::fromValue(LogSelection{session, title, port < 0 ? std::nullopt : std::optional<qint64>(port)});
}

QString LogPageFixture::sampleOutput()
{
    return u"\n> shop@0.4.2 dev\n> vite --port 5173\n\n"
           u"\x1b[32m\x1b[1m  VITE\x1b[22m v5.2.11\x1b[39m  \x1b[2mready in \x1b[0m\x1b[1m412\x1b[22m\x1b[2m\x1b[0m "
           u"ms\n\n"
           u"  \x1b[32m\u279c\x1b[39m  \x1b[1mLocal\x1b[22m:   \x1b[36mhttp://localhost:\x1b[1m5173\x1b[22m/\x1b[39m\n"
           u"  \x1b[32m\u279c\x1b[39m  \x1b[1mNetwork\x1b[22m: use --host to expose\n"
           u"  \x1b[32m\u279c\x1b[39m  press h + enter to show help\n"
           u"\x1b[2m10:42:07 AM\x1b[22m \x1b[36m\x1b[1m[vite]\x1b[22m\x1b[39m \x1b[32mhmr update "
           u"\x1b[39m\x1b[2m/src/App.tsx\x1b[22m\n"
           u"\x1b[2m10:42:09 AM\x1b[22m \x1b[36m\x1b[1m[vite]\x1b[22m\x1b[39m \x1b[32mhmr update "
           u"\x1b[39m\x1b[2m/src/components/Cart.tsx\x1b[22m\n"
           u"\x1b[2m10:42:15 AM\x1b[22m \x1b[33m\x1b[1m[vite]\x1b[22m\x1b[39m \x1b[33mwarning: <CartItem> is missing a "
           u"\"key\" prop\x1b[39m\n"
           u"\x1b[2m10:42:21 AM\x1b[22m \x1b[36m\x1b[1m[vite]\x1b[22m\x1b[39m \x1b[32mpage reload \x1b[39m\x1b[2mindex.html\x1b[22m\n"_s;
}
