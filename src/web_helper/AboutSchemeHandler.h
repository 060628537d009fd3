#pragma once

#include <QWebEngineUrlSchemeHandler>

// Serves the program's own about page from the bundled resources, with the version filled in.
class AboutSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    explicit AboutSchemeHandler(QObject *parent = nullptr);

    // Registers the scheme with the web engine; must run before the application object exists.
    static void registerScheme();
    // The page text, or an empty array when the resource is missing.
    static QByteArray aboutPage();

    void requestStarted(QWebEngineUrlRequestJob *job) override;
};
