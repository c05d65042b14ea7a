#include "LogText.h"

#include "VisibleText.h"

QStringList logLines(const QString& message)
{
    QStringList lines = visibleText(message, LineBreaks::Keep).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i)
        lines[i].prepend(QLatin1String("  "));
    return lines;
}
