// The render process behind an adapter's page: its memory against the cap,
// whether other adapters' pages share it, and its end when a page left behind
// is stuck in a script.
#include "app/web_browser.h"

#include "app/os.h"

#include <vector>

namespace vq {

std::vector<const WebEngineBrowser*>& WebEngineBrowser::adapters()
{
    // Every adapter of the program, to tell whether a renderer also rendered
    // other adapters' pages.
    static std::vector<const WebEngineBrowser*> all;
    return all;
}

void WebEngineBrowser::setMemoryCapMb(int mb)
{
    capBytes_ = mb > 0 ? qint64(mb) * 1024 * 1024 : 0;
    if (capBytes_ > 0)
        memoryCheck_.start();
    else
        memoryCheck_.stop();
}

void WebEngineBrowser::checkMemory()
{
    if (!page_ || capBytes_ <= 0 || restartPending_)
        return;
    const qint64 pid = page_->renderProcessPid();
    if (pid <= 0)
        return;
    if (os::residentBytes(pid) > capBytes_) {
        // Not ours to wait for: the page goes, and the renderer's end makes it
        // a render failure (or, in a shared renderer, a loss of every page in it).
        os::killProcess(pid);
    }
}

void WebEngineBrowser::noteRenderer()
{
    // The process is named only while it runs: its end still needs its name.
    const qint64 pid = page_ ? page_->renderProcessPid() : 0;
    if (pid > 0)
        rendererPid_ = pid;
}

bool WebEngineBrowser::sharesRenderer() const
{
    // Every page on a renderer hears of its end in turn, before any of them
    // has a new one: the others still name it then.
    for (const WebEngineBrowser* other : adapters())
        if (other != this && rendererPid_ > 0 && other->rendererPid_ == rendererPid_)
            return true;
    return false;
}

void WebEngineBrowser::killRenderer()
{
    const qint64 pid = page_ ? page_->renderProcessPid() : 0;
    if (pid <= 0)
        return;
    restartPending_ = true;
    killedPid_ = pid;
    restartWait_.start();
    os::killProcess(pid);
}

} // namespace vq
