#include "hostservices.h"

#include "core/callbacks.h"
#include "core/utility.h"
#include "sdk/binruns.h"
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

class ProgramBinRuns final : public BinRuns
{
public:
    void getbins(int buffer, int channel, int frame, int firstbin, int count, float* pairs) override
    {
        getbinscb(buffer, channel, frame, firstbin, count, pairs);
    }
    void setbins(int buffer, int channel, int frame, int firstbin, int count, const float* pairs) override
    {
        setbinscb(buffer, channel, frame, firstbin, count, pairs);
    }
};

} // namespace

BinRuns* programbinruns()
{
    static ProgramBinRuns runs;
    return &runs;
}

HostServices* programservices()
{
    static ProgramServices services;
    return &services;
}
