#!/usr/bin/env python3
"""The include check itself: it must catch what points up, sideways or into Qt."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import check_includes  # noqa: E402


def tree(files):
    root = tempfile.mkdtemp()
    for path, text in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w", encoding="utf-8") as out:
            out.write(text)
    return root


class IncludeOrder(unittest.TestCase):
    def test_downward_includes_pass(self):
        root = tree({
            "storage/Disk.cpp": '#include "storage/Disk.h"\n#include "base/DiagLog.h"\n'
                                '#include "platform/Counter.h"\n#include <vector>\n',
            "app/gui/Main.cpp": '#include "net/gui/Upload.h"\n#include <QWidget>\n',
            "cli/main.cpp": '#include "view/render/Painter.h"\n#include "BuildInfo.h"\n',
        })
        self.assertEqual(check_includes.check_tree(root), [])

    def test_upward_and_sideways_includes_fail(self):
        root = tree({
            "storage/Disk.cpp": '#include "app/TestRun.h"\n',
            "view/Chart.cpp": '#include "net/Upload.h"\n',
            "platform/linux/Counter.cpp": '  #  include "bench/EventLog.h"\n',
            "view/gui/Chart.cpp": '#include "results/gui/Details.h"\n',
            "net/Upload.cpp": '#include "cli/Commands.h"\n',
        })
        problems = check_includes.check_tree(root)
        self.assertEqual(len(problems), 5, problems)
        self.assertTrue(any("platform/linux/Counter.cpp:1" in p for p in problems))
        self.assertTrue(any("view/gui may not include results/gui/Details.h" in p for p in problems))

    def test_qt_stays_out_of_the_core(self):
        root = tree({
            "results/Save.cpp": "#include <QString>\n",
            "view/render/Paint.cpp": "#include <QPainter>\n",
        })
        problems = check_includes.check_tree(root)
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("results/Save.cpp", problems[0])

    def test_sources_outside_every_layer_are_reported(self):
        root = tree({"misc/Helper.cpp": "int x;\n"})
        self.assertEqual(len(check_includes.check_tree(root)), 1)


if __name__ == "__main__":
    unittest.main()
