#include "libs/capture/filter_description.h"

#include <gst/gst.h>

#include <QFile>
#include <QXmlStreamReader>

namespace {
std::optional<int> parseRank(const QString& text) {
    if (text == "none") {
        return GST_RANK_NONE;
    }
    if (text == "marginal") {
        return GST_RANK_MARGINAL;
    }
    if (text == "secondary") {
        return GST_RANK_SECONDARY;
    }
    if (text == "primary") {
        return GST_RANK_PRIMARY;
    }
    bool ok = false;
    int number = text.toInt(&ok);
    return ok && number >= 0 ? std::optional<int>(number) : std::nullopt;
}
}  // namespace

std::optional<FilterRanks> readFilterDescription(const std::string& path, std::string* error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString().toStdString();
        return std::nullopt;
    }
    QXmlStreamReader xml(&file);
    FilterRanks ranks;
    bool sawRoot = false;
    while (xml.readNextStartElement()) {
        if (!sawRoot) {
            if (xml.name() != QLatin1String("filters")) {
                *error = "the root element is not <filters>";
                return std::nullopt;
            }
            sawRoot = true;
            continue;
        }
        if (xml.name() != QLatin1String("filter")) {
            *error = "unexpected element <" + xml.name().toString().toStdString() + ">";
            return std::nullopt;
        }
        QString name = xml.attributes().value("name").toString();
        auto rank = parseRank(xml.attributes().value("rank").toString());
        if (name.isEmpty() || !rank) {
            *error =
                "a <filter> needs a name and a rank, at line " + std::to_string(xml.lineNumber());
            return std::nullopt;
        }
        ranks.emplace_back(name.toStdString(), *rank);
        xml.skipCurrentElement();
    }
    if (xml.hasError() || !sawRoot) {
        *error = xml.hasError() ? xml.errorString().toStdString() : "the file is empty";
        return std::nullopt;
    }
    return ranks;
}

void applyFilterRanks(const FilterRanks& ranks) {
    GstRegistry* registry = gst_registry_get();
    for (const auto& [name, rank] : ranks) {
        GstPluginFeature* feature = gst_registry_lookup_feature(registry, name.c_str());
        if (feature != nullptr) {
            gst_plugin_feature_set_rank(feature, static_cast<guint>(rank));
            gst_object_unref(feature);
        }
    }
}
