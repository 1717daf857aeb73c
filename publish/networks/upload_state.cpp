// The texts of a service's state; see upload_state.h.
#include "publish/networks/upload_state.h"

namespace publish {

namespace {

QString Shown(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

// The text as a sentence: a full stop unless it already ends in one of its own.
QString Sentence(const QString& text)
{
    const QString end = QStringLiteral(".!?…");
    return !text.isEmpty() && end.contains(text.back()) ? text : text + QLatin1Char('.');
}

} // namespace

TStateTexts StateTexts(const TUploadState& state)
{
    TStateTexts texts;
    texts.LastSuccess = state.LastSuccess.isValid()
        ? QStringLiteral("Последняя удачная отправка: %1").arg(Shown(state.LastSuccess))
        : QStringLiteral("Удачных отправок ещё не было");
    texts.Waiting = QStringLiteral("Ждут отправки: %1").arg(state.Waiting);
    if (state.Skipped > 0)
        texts.Waiting += QStringLiteral("; пропущено (сервис не принимает старых показаний): %1").arg(state.Skipped);
    if (state.Rejected > 0)
        texts.Waiting += QStringLiteral("; отклонено сервисом: %1").arg(state.Rejected);
    if (state.LastError.isEmpty())
        texts.LastError = QStringLiteral("Ошибок не было");
    else
        texts.LastError =
            Sentence(QStringLiteral("Последняя ошибка (%1): %2").arg(Shown(state.LastErrorAt), state.LastError));
    const bool errorIsLatest = !state.LastError.isEmpty() && !(state.LastSuccess > state.LastErrorAt);
    if (state.Stopped)
        texts.LastError += QStringLiteral(" Отправка остановлена до изменения настроек.");
    else if (errorIsLatest && state.NextAttempt.isValid())
        texts.LastError += QStringLiteral(" Следующая попытка в %1.").arg(Shown(state.NextAttempt));
    return texts;
}

} // namespace publish
