#pragma once

#include <QString>
#include <QUrl>

// The product's web site. A name under the reserved .example domain until the project has a page
// of its own; every link and button of the program is built from it.
inline const QString WebHost = QStringLiteral("www.flinkprobe.example");

// http://WebHost/ with the query, if one is given.
QUrl WebUrl(const QString &query = QString());

// An HTML anchor to url that shows text.
QString WebLink(const QUrl &url, const QString &text);
