#pragma once
// Reading replies on the control connection (RFC 959 section 4.2).
//
// A reply is one line "ddd text", or several: a first line "ddd-text", any lines,
// and a last line that starts with the same code and a blank. Inner lines may start
// with digits, even with another code and a blank; only the same code ends the reply.
// The reader assembles replies from the bytes as they arrive and knows nothing of
// the commands they answer.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <optional>

namespace ftp {

struct FtpReply {
    int code = 0;
    // The reply's lines without the leading code and separator, joined with '\n'.
    QString text;

    bool isPreliminary() const { return code >= 100 && code < 200; }
    bool isPositive() const { return code >= 200 && code < 300; }
    bool isIntermediate() const { return code >= 300 && code < 400; }
};

class FtpReplyReader {
public:
    // A reply longer than this is no reply a sane server sends; refusing it keeps a
    // broken or hostile server from filling our memory.
    static constexpr qsizetype kMaxReplyBytes = 1 << 20;
    // Nor one of more lines than this: the longest real ones (FEAT, a greeting's
    // banner) have a few dozen.
    static constexpr qsizetype kMaxReplyLines = 1000;

    void append(const char* data, std::size_t size);
    // The next complete reply, if the bytes so far hold one. Throws EIdFTPError when a
    // reply does not start with a three-digit code or grows beyond kMaxReplyBytes or
    // kMaxReplyLines. Each byte appended is looked at a bounded number of times,
    // however the bytes trickle in.
    std::optional<FtpReply> next();
    bool hasBufferedBytes() const { return m_scan < m_buffer.size() || !m_lines.isEmpty(); }
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_scan = 0;    // where the first line not yet taken starts
    qsizetype m_searched = 0; // up to where that line is known to hold no line feed
    QByteArray m_codeText;   // code of a multi-line reply in progress, e.g. "211"
    QList<QByteArray> m_lines; // its lines so far
    qsizetype m_replyBytes = 0;
};

}
