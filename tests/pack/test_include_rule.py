"""The include checker of the lint step catches an include that runs up the
layers, one tool reaching into the other, a tool reaching above the package
layer, and an include up the packager's own folders, and passes the same
tree without them."""

import importlib.util
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
module = importlib.util.spec_from_file_location("check_includes", REPO / "scripts" / "check-includes.py")
check_includes = importlib.util.module_from_spec(module)
module.loader.exec_module(check_includes)


class IncludeRule(unittest.TestCase):

    def tree(self, files: dict[str, str]) -> Path:
        root = Path(self.enterContext(tempfile.TemporaryDirectory()))
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        (root / "tools" / "pack").mkdir(parents=True, exist_ok=True)
        (root / "tools" / "guidriver").mkdir(parents=True, exist_ok=True)
        return root

    def test_cases(self):
        sound = {"src/ui/a.cpp": '#include "package/b.h"\n#include "resources/ids.h"\n',
                 "src/package/b.h": '#include "base/c.h"\n', "src/base/c.h": "#include <cstdint>\n",
                 "src/ui/a.h": "", "src/app/m.cpp": '#include "ui/a.h"\n',
                 "tools/pack/p.cpp": '#include "package/b.h"\n#include "reading/q.h"\n',
                 "tools/pack/reading/q.h": '#include "common/s.h"\n#include "reading/t.h"\n',
                 "tools/pack/common/s.h": '#include "package/b.h"\n'}
        # (label, files added to the sound tree, the fault's beginning)
        cases = [
            ("sound", {}, None),
            ("up a layer", {"src/fs/d.cpp": '#include "package/b.h"\n'}, 'src/fs/d.cpp:1: includes "package/b.h"'),
            ("resources below ui", {"src/package/e.cpp": '  #include "resources/ids.h"\n'},
             'src/package/e.cpp:1: includes "resources/ids.h"'),
            ("a folder without a layer", {"src/misc/f.h": ""}, "src/misc: a folder without a place"),
            ("a tool in the other", {"tools/guidriver/g.cpp": '\n#include "pack/options.h"\n'},
             'tools/guidriver/g.cpp:2: includes "pack/options.h"'),
            ("a tool above the package layer", {"tools/pack/r.h": '#include "ui/a.h"\n'},
             'tools/pack/r.h:1: includes "ui/a.h"'),
            ("a tool in the program", {"tools/guidriver/h.cpp": '#include "app/m.h"\n'},
             'tools/guidriver/h.cpp:1: includes "app/m.h"'),
            ("up the packager's folders", {"tools/pack/common/u.cpp": '#include "building/v.h"\n'},
             'tools/pack/common/u.cpp:1: includes "building/v.h"'),
            ("a packager folder without a layer", {"tools/pack/misc/w.h": ""},
             "tools/pack/misc: a folder without a place"),
        ]
        for label, extra, fault in cases:
            with self.subTest(label):
                faults = check_includes.check(self.tree({**sound, **extra}))
                if fault is None:
                    self.assertEqual(faults, [])
                else:
                    self.assertEqual(len(faults), 1, faults)
                    self.assertTrue(faults[0].startswith(fault), faults)

    def test_this_tree_keeps_the_rule(self):
        self.assertEqual(check_includes.check(REPO), [])


if __name__ == "__main__":
    unittest.main()
