#pragma once
// Files dragged from the desktop onto one of the studio's windows.

#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

namespace brovana {

// The local files among the dropped URLs, in the order they came.
inline std::vector<std::string> droppedFiles(const QMimeData& data) {
  std::vector<std::string> files;
  for (const QUrl& url : data.urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  return files;
}

}  // namespace brovana
