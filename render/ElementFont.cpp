#include "render/ElementFont.h"

#include <QFontMetrics>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace zov {

QString ElementFontFamily(const LogFontA& font) {
    if (font.lfCharSet == 128 || font.lfCharSet == 134 || font.lfCharSet == 136)
        return QStringLiteral("WenQuanYi Zen Hei");
    const QString face =
        QString::fromLatin1(font.lfFaceName, static_cast<qsizetype>(strnlen(font.lfFaceName, 32)))
            .trimmed()
            .toLower();
    if (face == QLatin1String("arial"))
        return QStringLiteral("Liberation Sans");
    if (face == QLatin1String("times new roman"))
        return QStringLiteral("Liberation Serif");
    if (face == QLatin1String("courier new"))
        return QStringLiteral("Liberation Mono");
    return QStringLiteral("DejaVu Sans");
}

QFont ElementFont(const LogFontA& lf) {
    QFont font;
    QStringList families;
    families << ElementFontFamily(lf) << QStringLiteral("DejaVu Sans");
    font.setFamilies(families);
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias | QFont::NoFontMerging));
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    const int weight = lf.lfWeight <= 0 ? 400 : std::clamp(lf.lfWeight, 1, 1000);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    const int64_t h = lf.lfHeight;
    int pixels = h == 0 ? 16 : static_cast<int>(std::clamp<int64_t>(h < 0 ? -h : h, 1, 1000));
    font.setPixelSize(pixels);
    if (h > 0) {
        // A cell height: the largest pixel size whose ascent + descent fits in it.
        for (int tries = 0; tries < 8 && pixels > 1; ++tries) {
            QFontMetrics fm(font);
            const int cell = fm.ascent() + fm.descent();
            if (cell <= h)
                break;
            pixels = std::max(1, pixels - std::max(1, (cell - static_cast<int>(h) + 1) / 2));
            font.setPixelSize(pixels);
        }
    }
    return font;
}

QString DecodeElementText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string EncodeElementText(const QString& text) {
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

} // namespace zov
