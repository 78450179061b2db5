// The picture ("BlockingScreen.jpg", fit mode 3) the main thread shows while it
// waits long for the application lock. Every operation first needs a display
// target; this tool never gives the screen one, so showing, refreshing and
// hiding do nothing and a waiting main thread services no window messages.
#pragma once

class BlockingScreen {
public:
    // Created on first use, destroyed at exit.
    static BlockingScreen& Instance()
    {
        static BlockingScreen screen;
        return screen;
    }

    BlockingScreen(const BlockingScreen&) = delete;
    BlockingScreen& operator=(const BlockingScreen&) = delete;

    void Show() {}
    void Refresh() {}
    void Hide() {}

private:
    BlockingScreen() = default;
};
