// ServiceManager as a component object.
#include "ComObjects.h"

#include <brenlix/ServiceManager.h>

namespace brenlix::com {

namespace {

bool Flag(const VARIANT_BOOL* value)
{
    return value != nullptr && *value != VARIANT_FALSE;
}

class ServiceManagerObject final : public DispatchObject<_ServiceManager> {
public:
    ServiceManagerObject() : DispatchObject(IID__ServiceManager) {}

    STDMETHODIMP get_MaxWaitForService(LONG* result) override
    {
        return ReturnValue(manager_.MaxWaitForService(), result);
    }
    STDMETHODIMP put_MaxWaitForService(LONG newValue) override
    {
        manager_.MaxWaitForService(newValue);
        return S_OK;
    }
    STDMETHODIMP get_ServiceShortName(BSTR* result) override { return Get(&ServiceManager::ServiceShortName, result); }
    STDMETHODIMP put_ServiceShortName(BSTR newValue) override { return Put(&ServiceManager::ServiceShortName, newValue); }
    STDMETHODIMP get_ServiceLongName(BSTR* result) override { return Get(&ServiceManager::ServiceLongName, result); }
    STDMETHODIMP put_ServiceLongName(BSTR newValue) override { return Put(&ServiceManager::ServiceLongName, newValue); }
    STDMETHODIMP get_ServicePath(BSTR* result) override { return Get(&ServiceManager::ServicePath, result); }
    STDMETHODIMP put_ServicePath(BSTR newValue) override { return Put(&ServiceManager::ServicePath, newValue); }
    STDMETHODIMP get_ServiceDescription(BSTR* result) override
    {
        return Get(&ServiceManager::ServiceDescription, result);
    }
    STDMETHODIMP put_ServiceDescription(BSTR newValue) override
    {
        return Put(&ServiceManager::ServiceDescription, newValue);
    }
    STDMETHODIMP get_ServiceUsername(BSTR* result) override { return Get(&ServiceManager::ServiceUsername, result); }
    STDMETHODIMP put_ServiceUsername(BSTR newValue) override { return Put(&ServiceManager::ServiceUsername, newValue); }
    STDMETHODIMP get_ServiceUserPassword(BSTR* result) override
    {
        return Get(&ServiceManager::ServiceUserPassword, result);
    }
    STDMETHODIMP put_ServiceUserPassword(BSTR newValue) override
    {
        return Put(&ServiceManager::ServiceUserPassword, newValue);
    }
    STDMETHODIMP get_ComputerName(BSTR* result) override { return Get(&ServiceManager::ComputerName, result); }
    STDMETHODIMP put_ComputerName(BSTR newValue) override { return Put(&ServiceManager::ComputerName, newValue); }
    STDMETHODIMP get_ServiceLastError(BSTR* result) override { return Get(&ServiceManager::ServiceLastError, result); }

    STDMETHODIMP ServiceStatus(::ServiceState* state) override
    {
        return Call([&] { return ReturnValue(manager_.ServiceStatus(), state); });
    }
    STDMETHODIMP ServiceStart(VARIANT_BOOL* WaitforStart, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(manager_.ServiceStart(Flag(WaitforStart))), result); });
    }
    STDMETHODIMP ServiceStop(VARIANT_BOOL* WaitForStop, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(manager_.ServiceStop(Flag(WaitForStop))), result); });
    }
    STDMETHODIMP RestartService(VARIANT_BOOL* WaitforStart, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(manager_.RestartService(Flag(WaitforStart))), result); });
    }
    STDMETHODIMP IsServiceInstalled(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(manager_.IsServiceInstalled()), result); });
    }
    STDMETHODIMP InstallService(VARIANT_BOOL* StartAfterInstall, VARIANT_BOOL* result) override
    {
        return Call(
            [&] { return ReturnValue(ToVariantBool(manager_.InstallService(Flag(StartAfterInstall))), result); });
    }
    STDMETHODIMP RemoveService(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(manager_.RemoveService()), result); });
    }

private:
    using Getter = const std::string& (ServiceManager::*)() const;
    using Setter = void (ServiceManager::*)(const std::string&);

    HRESULT Get(Getter getter, BSTR* result)
    {
        return Call([&] { return ReturnText((manager_.*getter)(), result); });
    }
    HRESULT Put(Setter setter, BSTR value)
    {
        return Call([&] { (manager_.*setter)(FromBstr(value)); });
    }

    brenlix::ServiceManager manager_;
};

} // namespace

HRESULT CreateServiceManager(REFIID iid, void** object)
{
    return CreateObject<ServiceManagerObject>(iid, object);
}

} // namespace brenlix::com
