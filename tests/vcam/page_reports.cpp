#include "tests/vcam/page_reports.h"

#include <algorithm>

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
    // The page posts a batch every 200 ms, each on a request of its own, and
    // a loaded browser's requests may arrive out of turn (once, under load,
    // Firefox's 2322 was listed after its 2360): the page's clock orders.
    std::stable_sort(seen.begin(), seen.end(),
                     [](const Seen& a, const Seen& b) { return a.t < b.t; });
    return seen;
}
