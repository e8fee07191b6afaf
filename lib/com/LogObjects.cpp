// FileLog and EventLog as component objects.
#include "ComObjects.h"

#include <brenlix/EventLog.h>
#include <brenlix/FileLog.h>

namespace brenlix::com {

namespace {

template <class T>
T Given(const T* value, T fallback)
{
    return value != nullptr ? *value : fallback;
}

class FileLogObject final : public DispatchObject<_FileLog> {
public:
    FileLogObject() : DispatchObject(IID__FileLog) {}

    STDMETHODIMP get_LogFile(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.LogFile(), value); });
    }
    STDMETHODIMP put_LogFile(BSTR value) override
    {
        return Call([&] { log_.LogFile(FromBstr(value)); });
    }
    STDMETHODIMP get_LogLevel(LONG* value) override
    {
        return ReturnValue(log_.LogLevel(), value);
    }
    STDMETHODIMP put_LogLevel(LONG value) override
    {
        log_.LogLevel(value);
        return S_OK;
    }
    STDMETHODIMP WriteToLog(BSTR* strlogmessage, LONG* lngLogLevel, ::LogFileType* LogType) override
    {
        return Call([&] {
            log_.WriteToLog(Message(strlogmessage), Given<LONG>(lngLogLevel, 0),
                            Given<::LogFileType>(LogType, ::LogFileTypeInformation));
        });
    }
    STDMETHODIMP LogInfoFile(BSTR* strlogmessage, LONG* lngLogLevel) override
    {
        return Call([&] { log_.LogInfoFile(Message(strlogmessage), Given<LONG>(lngLogLevel, 0)); });
    }
    STDMETHODIMP LogErrorFile(BSTR* strlogmessage, LONG* lngLogLevel) override
    {
        return Call([&] { log_.LogErrorFile(Message(strlogmessage), Given<LONG>(lngLogLevel, 0)); });
    }
    STDMETHODIMP LogWarningFile(BSTR* strlogmessage, LONG* lngLogLevel) override
    {
        return Call([&] { log_.LogWarningFile(Message(strlogmessage), Given<LONG>(lngLogLevel, 0)); });
    }

private:
    static std::string Message(const BSTR* text) { return text != nullptr ? FromBstr(*text) : std::string(); }

    brenlix::FileLog log_;
};

class EventLogObject final : public DispatchObject<_EventLog> {
public:
    EventLogObject() : DispatchObject(IID__EventLog) {}

    STDMETHODIMP get_LastEventErrNum(LONG* value) override { return ReturnValue(log_.LastEventErrNum(), value); }
    STDMETHODIMP put_LastEventErrNum(LONG value) override
    {
        log_.LastEventErrNum(value);
        return S_OK;
    }
    STDMETHODIMP get_LastEventErrSource(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.LastEventErrSource(), value); });
    }
    STDMETHODIMP put_LastEventErrSource(BSTR value) override
    {
        return Call([&] { log_.LastEventErrSource(FromBstr(value)); });
    }
    STDMETHODIMP get_LastEventErrDescription(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.LastEventErrDescription(), value); });
    }
    STDMETHODIMP put_LastEventErrDescription(BSTR value) override
    {
        return Call([&] { log_.LastEventErrDescription(FromBstr(value)); });
    }
    STDMETHODIMP WriteEventLog(::EventLogTypes* xlngEventType, BSTR* strEventTekst, LONG* xlngIDEvent,
                               LONG* result) override
    {
        if (xlngEventType == nullptr || result == nullptr) {
            return E_POINTER;
        }
        *result = 0; // what a raised error leaves
        return Call([&] {
            const std::string text = strEventTekst != nullptr ? FromBstr(*strEventTekst) : std::string();
            *result = log_.WriteEventLog(static_cast<brenlix::EventLogTypes>(*xlngEventType), text,
                                         Given<LONG>(xlngIDEvent, 1));
        });
    }
    STDMETHODIMP get_EventDataBuffer(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.EventDataBuffer(), value); });
    }
    STDMETHODIMP put_EventDataBuffer(BSTR* xstrData) override
    {
        return Call([&] { log_.EventDataBuffer(xstrData != nullptr ? FromBstr(*xstrData) : std::string()); });
    }
    STDMETHODIMP get_EventCategory(LONG* value) override { return ReturnValue(log_.EventCategory(), value); }
    STDMETHODIMP put_EventCategory(LONG* xlngEventCategory) override
    {
        if (xlngEventCategory == nullptr) {
            return E_POINTER;
        }
        log_.EventCategory(*xlngEventCategory);
        return S_OK;
    }
    STDMETHODIMP get_EventTekst(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.EventTekst(), value); });
    }
    STDMETHODIMP put_EventTekst(BSTR value) override
    {
        return Call([&] { log_.EventTekst(FromBstr(value)); });
    }
    STDMETHODIMP get_ServerName(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.ServerName(), value); });
    }
    STDMETHODIMP put_ServerName(BSTR value) override
    {
        return Call([&] { log_.ServerName(FromBstr(value)); });
    }
    STDMETHODIMP get_ApplicationName(BSTR* value) override
    {
        return Call([&] { return ReturnText(log_.ApplicationName(), value); });
    }
    STDMETHODIMP put_ApplicationName(BSTR value) override
    {
        return Call([&] { log_.ApplicationName(FromBstr(value)); });
    }

private:
    brenlix::EventLog log_;
};

} // namespace

HRESULT CreateFileLog(REFIID iid, void** object)
{
    return CreateObject<FileLogObject>(iid, object);
}

HRESULT CreateEventLog(REFIID iid, void** object)
{
    return CreateObject<EventLogObject>(iid, object);
}

} // namespace brenlix::com
