#!/usr/bin/env python3
"""The include-direction check on small trees: one upward include fails it, and is named."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import check_include_direction  # noqa: E402


class IncludeDirectionTest(unittest.TestCase):
    def check(self, files):
        """(exit code, output) of the check over a tree holding `files` {path: text}."""
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                code = check_include_direction.main([root])
        return code, out.getvalue()

    def test_downward_includes_pass(self):
        code, _ = self.check({
            "platform/types.h": "#include <cstdint>\n",
            "payload/a.h": '#include "platform/types.h"\n#include "installer/b.h"\n',
            "installer/b.h": '#include "payload/a.h"\n',
            "launcher/c.cc": '#include "payload/a.h"\n#include "installer/b.h"\n',
            "resources/launcher.rc": '#include "payload.rc"\n'})
        self.assertEqual(code, 0)

    def test_an_upward_include_fails_with_its_place(self):
        code, out = self.check({
            "launcher/state.h": "",
            "payload/a.cc": '// a\n#include "payload/a.h"\n  #  include "launcher/state.h"\n',
            "payload/a.h": "",
            "platform/win32/w.cc": '#include "../../payload/a.h"\n'})
        self.assertEqual(code, 1)
        self.assertIn('payload/a.cc:3: #include "launcher/state.h"', out)
        self.assertIn('platform/win32/w.cc:1: #include "../../payload/a.h"', out)
        self.assertIn("2 include(s)", out)


if __name__ == "__main__":
    unittest.main()
