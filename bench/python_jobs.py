"""The Python package's side of bench/run's python rows (run with the
package and library named by PYTHONPATH and ARJHOST_LIBRARY):
   python_jobs.py testarj ARCHIVE...        testarj() of each archive in turn
   python_jobs.py read THREADS ARCHIVE...   every archive's entries read whole,
                                            the archives shared out on THREADS threads
   python_jobs.py fsspec TIMES ARCHIVE NAME the entry NAME read TIMES through arj:// (fsspec)
Exits 1 when an archive is not sound."""
import sys
import threading

import arjhost


def read_all(path: str) -> None:
    with arjhost.ArjFile(path) as arj:
        for info in arj.infolist():
            if info.is_file():
                with arj.open(info) as stream:
                    while stream.read(1 << 20):
                        pass


def main(argv: list[str]) -> int:
    if argv[:1] == ["testarj"]:
        for path in argv[1:]:
            with arjhost.ArjFile(path) as arj:
                if arj.testarj() is not None:
                    return 1
        return 0
    if argv[:1] == ["read"]:
        count, paths = int(argv[1]), argv[2:]
        failed = []

        def work(mine: list[str]) -> None:
            try:
                for path in mine:
                    read_all(path)
            except arjhost.Error as e:
                failed.append(e)

        threads = [threading.Thread(target=work, args=(paths[k::count],)) for k in range(count)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return 1 if failed else 0
    if argv[:1] == ["fsspec"] and len(argv) == 4:
        import importlib
        import fsspec
        importlib.import_module("arjhost.fsspec")  # registers arj://
        for _ in range(int(argv[1])):
            with fsspec.open(f"arj://{argv[3]}::{argv[2]}", "rb") as stream:
                while stream.read(1 << 20):
                    pass
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
