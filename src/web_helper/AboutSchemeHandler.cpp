#include "web_helper/AboutSchemeHandler.h"

#include "web/WebSearch.h"

#include <QBuffer>
#include <QFile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

using namespace Qt::StringLiterals;

AboutSchemeHandler::AboutSchemeHandler(QObject *parent)
    : QWebEngineUrlSchemeHandler(parent)
{
}

void AboutSchemeHandler::registerScheme()
{
    const QByteArray name = WebSearch::aboutScheme().toLatin1();
    if (QWebEngineUrlScheme::schemeByName(name).name() == name)
        return;
    QWebEngineUrlScheme scheme(name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Local: outside pages cannot link to it
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QByteArray AboutSchemeHandler::aboutPage()
{
    QFile file(u":/about.html"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray page = file.readAll();
    page.replace("@JYT_VERSION@", JYT_VERSION);
    return page;
}

void AboutSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    if (job->requestUrl() != WebSearch::aboutAddress()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QByteArray page = aboutPage();
    if (page.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The job owns the buffer's lifetime through its parent
    auto *buffer = new QBuffer(job);
    buffer->setData(page);
    buffer->open(QIODevice::ReadOnly);
    job->reply("text/html;charset=utf-8", buffer);
}
