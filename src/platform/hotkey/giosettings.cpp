// gio's headers first: they name struct members "signals", which Qt's
// headers make a macro. Only its types and declarations are used here; the
// functions come from the library loaded at run time.
#include <gio/gio.h>

#include "platform/hotkey/giosettings.h"

#include "core/log.h"
#include "core/runtimelibrary.h"

namespace hy {
namespace {

// The functions of libgio (and of libgobject, which it loads) that are used.
// GLib's own (GVariant, strings) are linked: Qt loads libglib anyway.
#define HY_GIO_FUNCTIONS(X)                                                                        \
    X(g_settings_schema_source_get_default)                                                        \
    X(g_settings_schema_source_lookup)                                                             \
    X(g_settings_schema_unref)                                                                     \
    X(g_settings_schema_get_path)                                                                  \
    X(g_settings_schema_has_key)                                                                   \
    X(g_settings_schema_list_keys)                                                                 \
    X(g_settings_schema_get_key)                                                                   \
    X(g_settings_schema_key_get_summary)                                                           \
    X(g_settings_schema_key_get_value_type)                                                        \
    X(g_settings_schema_key_unref)                                                                 \
    X(g_settings_new_full)                                                                         \
    X(g_settings_get_value)                                                                        \
    X(g_settings_get_default_value)                                                                \
    X(g_settings_set_value)                                                                        \
    X(g_settings_reset)                                                                            \
    X(g_settings_sync)                                                                             \
    X(g_object_unref)

template <typename T>
using Owned = std::unique_ptr<T, void (*)(T*)>;

// GSettings refuses (with a critical) paths that do not start and end with
// '/' or that hold "//".
bool isValidPath(const QString& path)
{
    return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) &&
           !path.contains(QLatin1String("//"));
}

QVariant toQt(GVariant* v)
{
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
        return QString::fromUtf8(g_variant_get_string(v, nullptr));
    if (!g_variant_is_of_type(v, G_VARIANT_TYPE_STRING_ARRAY))
        return {};
    gsize n = 0;
    const gchar** strings = g_variant_get_strv(v, &n);
    QStringList list;
    for (gsize i = 0; i < n; ++i)
        list << QString::fromUtf8(strings[i]);
    g_free(strings);
    return list;
}

// A floating GVariant of `type` (s or as), or null when `value` is not one.
GVariant* fromQt(const QVariant& value, const GVariantType* type)
{
    if (g_variant_type_equal(type, G_VARIANT_TYPE_STRING) && value.typeId() == QMetaType::QString)
        return g_variant_new_string(value.toString().toUtf8().constData());
    if (!g_variant_type_equal(type, G_VARIANT_TYPE_STRING_ARRAY) ||
        value.typeId() != QMetaType::QStringList)
        return nullptr;
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_STRING_ARRAY);
    for (const QString& s : value.toStringList())
        g_variant_builder_add(&builder, "s", s.toUtf8().constData());
    return g_variant_builder_end(&builder);
}

} // namespace

struct GioSettings::Api
{
#define HY_DECLARE(fn) decltype(&::fn) fn = nullptr;
    HY_GIO_FUNCTIONS(HY_DECLARE)
#undef HY_DECLARE

    Owned<GSettingsSchema> lookup(const QString& schema) const
    {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        return {source ? g_settings_schema_source_lookup(source, schema.toUtf8().constData(), TRUE)
                       : nullptr,
                g_settings_schema_unref};
    }
};

// A settings object of a schema that has the key asked for; null otherwise.
struct GioSettings::Opened
{
    Owned<GSettingsSchema> schema{nullptr, nullptr};
    std::unique_ptr<GSettings, void (*)(gpointer)> settings{nullptr, nullptr};
};

GioSettings::GioSettings()
{
    auto api = std::make_unique<Api>();
    RuntimeLibrary library(QStringLiteral("gio-2.0"), 0);
#define HY_RESOLVE(fn) library.resolve(api->fn, #fn);
    HY_GIO_FUNCTIONS(HY_RESOLVE)
#undef HY_RESOLVE
    if (!library.isUsable()) {
        m_error = library.error();
        qCWarning(lcHotkey, "GNOME settings: cannot use libgio: %s", qPrintable(m_error));
        return;
    }
    m_api = std::move(api);
}

GioSettings::~GioSettings() = default;

GioSettings::Opened GioSettings::open(const QString& schema, const QString& key,
                                      const QString& path) const
{
    Opened o;
    if (!m_api)
        return o;
    o.schema = m_api->lookup(schema);
    if (!o.schema || (!key.isEmpty() &&
                      !m_api->g_settings_schema_has_key(o.schema.get(), key.toUtf8().constData())))
        return o;
    // A relocatable schema has no path of its own and needs one; a fixed one
    // keeps its own.
    const bool relocatable = !m_api->g_settings_schema_get_path(o.schema.get());
    if (relocatable != !path.isEmpty() || (relocatable && !isValidPath(path)))
        return o;
    o.settings = {m_api->g_settings_new_full(o.schema.get(), nullptr,
                                             relocatable ? path.toUtf8().constData() : nullptr),
                  m_api->g_object_unref};
    return o;
}

bool GioSettings::hasSchema(const QString& schema) const
{
    return m_api && m_api->lookup(schema);
}

QVariant GioSettings::read(const QString& schema, const QString& key, const QString& path,
                           Read which) const
{
    const Opened o = open(schema, key, path);
    if (!o.settings)
        return {};
    const QByteArray k = key.toUtf8();
    GVariant* v = which == Read::Value ? m_api->g_settings_get_value(o.settings.get(), k)
                                       : m_api->g_settings_get_default_value(o.settings.get(), k);
    if (!v)
        return {};
    const QVariant out = toQt(v);
    g_variant_unref(v);
    return out;
}

QVariant GioSettings::value(const QString& schema, const QString& key, const QString& path) const
{
    return read(schema, key, path, Read::Value);
}

QVariant GioSettings::defaultValue(const QString& schema, const QString& key,
                                   const QString& path) const
{
    return read(schema, key, path, Read::Default);
}

QVariantMap GioSettings::values(const QString& schema, const QString& path) const
{
    QVariantMap map;
    const Opened o = open(schema, {}, path);
    if (!o.settings)
        return map;
    gchar** keys = m_api->g_settings_schema_list_keys(o.schema.get());
    for (gchar** k = keys; *k; ++k) {
        GVariant* v = m_api->g_settings_get_value(o.settings.get(), *k);
        const QVariant value = toQt(v);
        g_variant_unref(v);
        if (value.isValid())
            map.insert(QString::fromUtf8(*k), value);
    }
    g_strfreev(keys);
    return map;
}

bool GioSettings::setValue(const QString& schema, const QString& key, const QVariant& value,
                           const QString& path)
{
    const Opened o = open(schema, key, path);
    if (!o.settings)
        return false;
    const QByteArray k = key.toUtf8();
    const Owned<GSettingsSchemaKey> schemaKey(m_api->g_settings_schema_get_key(o.schema.get(), k),
                                              m_api->g_settings_schema_key_unref);
    GVariant* v = fromQt(value, m_api->g_settings_schema_key_get_value_type(schemaKey.get()));
    // A floating value is taken over by the call.
    return v && m_api->g_settings_set_value(o.settings.get(), k, v);
}

void GioSettings::reset(const QString& schema, const QString& key, const QString& path)
{
    const Opened o = open(schema, key, path);
    if (o.settings)
        m_api->g_settings_reset(o.settings.get(), key.toUtf8().constData());
}

QString GioSettings::summary(const QString& schema, const QString& key) const
{
    if (!m_api)
        return {};
    const auto s = m_api->lookup(schema);
    const QByteArray k = key.toUtf8();
    if (!s || !m_api->g_settings_schema_has_key(s.get(), k))
        return {};
    const Owned<GSettingsSchemaKey> schemaKey(m_api->g_settings_schema_get_key(s.get(), k),
                                              m_api->g_settings_schema_key_unref);
    return QString::fromUtf8(m_api->g_settings_schema_key_get_summary(schemaKey.get()));
}

void GioSettings::sync()
{
    if (m_api)
        m_api->g_settings_sync();
}

} // namespace hy
