#pragma once
// The digest of a local file, to compare with the one the server computed of its
// copy (TIdFTP::Hash): SHA-256, SHA-1, MD5, or CRC-32 (IEEE 802.3, as XCRC gives it).
#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

// Reads the whole file, or its first length bytes; algorithm is a canonical name
// ("SHA-256", "SHA-1", "MD5", "CRC32"). Throws Exception when the file cannot be
// read (LocalFileError), and when cancel is set (Cancelled).
QByteArray fileDigest(const QString& path, const QString& algorithm, const std::atomic<bool>& cancel, std::int64_t length = -1);
