#include "website.h"

QUrl WebUrl(const QString &query)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(WebHost);
    url.setPath(QStringLiteral("/"));
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

QString WebLink(const QUrl &url, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString().toHtmlEscaped(), text.toHtmlEscaped());
}
