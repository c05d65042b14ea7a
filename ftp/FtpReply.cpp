#include "FtpReply.h"

#include "FtpText.h"
#include "FtpTypes.h"

namespace ftp {

namespace {

bool startsWithCode(const QByteArray& line)
{
    if (line.size() < 3)
        return false;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return line[0] >= '1' && line[0] <= '5' && digit(line[1]) && digit(line[2])
        && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

// A line that is no reply, fit to be quoted in a message: short, and with control
// characters (noise, a binary peer) shown as "?" rather than passed on to a log.
QString shortened(const QByteArray& line)
{
    QString text = decodeServerText(line.left(200));
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    return line.size() > 200 ? text + QStringLiteral("...") : text;
}

// The text of one line of a reply with the given code: the code and its separator
// go, inner lines that do not repeat the code stay as they are.
QString lineText(const QByteArray& line, const QByteArray& code)
{
    if (line.startsWith(code) && (line.size() == 3 || line[3] == ' ' || line[3] == '-'))
        return decodeServerText(QByteArrayView(line).sliced(std::min<qsizetype>(4, line.size())));
    return decodeServerText(line);
}

}

void FtpReplyReader::append(const char* data, std::size_t size)
{
    if (m_scan > 0 && m_scan == m_buffer.size()) {
        m_buffer.clear();
        m_scan = 0;
        m_searched = 0;
    }
    m_buffer.append(data, static_cast<qsizetype>(size));
}

std::optional<FtpReply> FtpReplyReader::next()
{
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n', std::max(m_scan, m_searched));
        if (nl < 0) {
            if (m_buffer.size() - m_scan + m_replyBytes > kMaxReplyBytes)
                throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta do servidor longa demais (mais de %1 bytes)").arg(kMaxReplyBytes));
            if (m_scan > 0) {
                m_buffer.remove(0, m_scan);
                m_scan = 0;
            }
            m_searched = m_buffer.size();
            return std::nullopt;
        }
        QByteArray line = m_buffer.mid(m_scan, nl - m_scan);
        m_scan = nl + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        m_replyBytes += line.size() + 1;
        if (m_replyBytes > kMaxReplyBytes)
            throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta do servidor longa demais (mais de %1 bytes)").arg(kMaxReplyBytes));

        if (m_codeText.isEmpty()) {
            if (!startsWithCode(line))
                throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta inválida do servidor: %1").arg(shortened(line)));
            if (line.size() > 3 && line[3] == '-') {
                m_codeText = line.left(3);
                m_lines = {line};
                continue;
            }
            m_replyBytes = 0;
            return FtpReply{line.left(3).toInt(), lineText(line, line.left(3))};
        }

        m_lines.append(line);
        if (m_lines.size() > kMaxReplyLines)
            throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta do servidor com linhas demais (mais de %1)").arg(kMaxReplyLines));
        if (line.startsWith(m_codeText) && (line.size() == 3 || line[3] == ' ')) {
            FtpReply reply{m_codeText.toInt(), {}};
            QStringList texts;
            texts.reserve(m_lines.size());
            for (const QByteArray& l : std::as_const(m_lines))
                texts.append(lineText(l, m_codeText));
            reply.text = texts.join(QLatin1Char('\n'));
            m_codeText.clear();
            m_lines.clear();
            m_replyBytes = 0;
            return reply;
        }
    }
}

void FtpReplyReader::clear()
{
    m_buffer.clear();
    m_scan = 0;
    m_searched = 0;
    m_codeText.clear();
    m_lines.clear();
    m_replyBytes = 0;
}

}
