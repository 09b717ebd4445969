"""The wine set-up that the Windows tests, bench/quality and bench/glyphpack-video share
(bench/player keeps a copy of the same protocol): the environment a Windows program runs in
under wine, and the wine prefix it runs from, made once."""
import fcntl
import os
import subprocess


def wine_environment(prefix):
    """Ours, with wine quiet and headless, and a UTF-8 locale, through which wine passes
    names and shows text whatever the runner's locale is."""
    environment = dict(os.environ)
    environment.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                       LC_ALL="C.UTF-8")
    environment.setdefault("TERM", "xterm")  # wine's console draws with the terminal's sequences
    for display in ("DISPLAY", "WAYLAND_DISPLAY"):
        environment.pop(display, None)
    return environment


def ensure_prefix(prefix, timeout=300):
    """Makes the wine prefix if it is not there; runs side by side wait for the first.
    Returns whether it had to be made."""
    os.makedirs(os.path.dirname(prefix) or ".", exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(prefix, "system.reg")):
            return False
        subprocess.run(["wineboot", "--init"], env=wine_environment(prefix), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout)
        return True
