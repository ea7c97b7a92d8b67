#include "hostservices.h"

#include "core/utility.h"
#include "sdk/hostservices.h"

namespace {

class ProgramServices final : public HostServices
{
public:
    bool waitwhile(const QString& title, const QString& text, const std::function<bool()>& busy) override
    {
        return ::waitwhile(busy, title, text);
    }
    WorkEnd runwork(const QString& title, const QString& text, const HostWork& work) override
    {
        return runwatchedwork(text, work, title);
    }
    void waitprogress(int percent) override { utilityprogress(percent); }
    void waittext(const QString& text) override { utilitytext(text); }
};

} // namespace

HostServices* programservices()
{
    static ProgramServices services;
    return &services;
}
