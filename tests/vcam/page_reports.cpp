#include "tests/vcam/page_reports.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::vector<Seen> seenIn(const std::vector<LocalWebServer::Post>& posts) {
    std::vector<Seen> seen;
    for (const auto& post : posts) {
        if (post.path != "/events") {
            continue;
        }
        const auto batch = QJsonDocument::fromJson(QByteArray::fromStdString(post.body)).array();
        for (const auto& value : batch) {
            QJsonObject o = value.toObject();
            seen.push_back({o["t"].toDouble(), o["kind"].toString().toStdString(),
                            o["frame"].toInt(), o["delay"].toDouble(), o["error"].toDouble(),
                            o["w"].toInt(), o["h"].toInt(), o["live"].toBool()});
        }
    }
    return seen;
}
