"""The card as the user edits it: first start, typing, restart, sample data."""

import harness as h


class CardEditing(h.AppTestCase):

    def test_first_start_with_an_empty_store(self):
        app = self.launch()
        self.assertEqual(h.window_title(app.main_wid), h.MAIN_TITLE)
        self.assertEqual(app.field_text("a"), "Darnovi")
        self.assertEqual(app.field_text("j"), "www.darnovi.example")
        for letter in "bcdefghi":
            self.assertEqual(app.field_text(letter), "", f"field {letter}")
            self.assertEqual(app.preview_text(letter), h.PLACEHOLDERS[letter], f"label {letter}1")
        self.assertEqual(app.preview_text("a"), "Darnovi")
        self.assertEqual(app.preview_text("j"), "www.darnovi.example")
        self.assertEqual(app.fit_caption(), h.FIT_CAPTION)
        self.assertTrue(app.hint_shown())
        self.assertEqual(app.settings(), {"a": "Darnovi", "j": "www.darnovi.example"})
        # Nothing but the main window was shown.
        self.assertEqual(app.windows(h.PREVIEW_TITLE), [])

    def test_preview_and_store_follow_every_keystroke_and_a_restart(self):
        app = self.launch()
        app.click_field("b")
        typed = ""
        for char in "Hi é!":
            h.type_text(char)
            typed += char
            h.wait_until(lambda: app.field_text("b") == typed, f"field b to read {typed!r}")
            # The change rule stores before it shows, so both are there already.
            self.assertEqual(app.settings().get("b"), typed)
            self.assertEqual(app.preview_text("b"), typed)

        while typed:
            h.key("BackSpace")
            typed = typed[:-1]
            h.wait_until(lambda: app.field_text("b") == typed, f"field b to read {typed!r}")
            self.assertEqual(app.settings().get("b"), typed)
            self.assertEqual(app.preview_text("b"), typed)
        # Emptied by the user: blank, not the placeholder, and stored as empty.
        self.assertEqual(app.preview_text("b"), "")
        self.assertIn("b", app.settings())

        app.restart()
        self.assertEqual(app.field_text("b"), "")
        self.assertEqual(app.preview_text("b"), h.PLACEHOLDERS["b"])

        app.click_field("b")
        h.type_text("Cards")
        h.wait_until(lambda: app.field_text("b") == "Cards", "field b to read 'Cards'")
        app.restart()
        self.assertEqual(app.field_text("b"), "Cards")
        self.assertEqual(app.preview_text("b"), "Cards")
        self.assertEqual(app.settings()["b"], "Cards")

    def test_sample_data_fills_every_field_and_survives_a_restart(self):
        app = self.launch()
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", "the sample data")
        sample = {letter: app.field_text(letter) for letter in "abcdefghij"}

        self.assertEqual(sample["a"], "Darnovi")
        self.assertRegex(sample["d"], r"^[^,]+, [A-Z]{2} \d{5}$")
        self.assertRegex(sample["i"], r"^\d{3}-\d{3}-\d{4}$")
        self.assertRegex(sample["j"], r"^https?://")
        self.assertIn("@", sample["h"])
        for letter in "efg":
            self.assertEqual(sample[letter], " ", f"address line {letter} holds one space")
        for letter, value in sample.items():
            self.assertEqual(app.preview_text(letter), value, f"label {letter}1")
        # Only the fields are stored; the logo and the fit mode are not touched.
        self.assertEqual(app.settings(), sample)
        self.assertEqual(app.fit_caption(), h.FIT_CAPTION)
        self.assertTrue(app.hint_shown())

        app.restart()
        for letter, value in sample.items():
            self.assertEqual(app.field_text(letter), value, f"field {letter} after restart")
            self.assertEqual(app.preview_text(letter), value, f"label {letter}1 after restart")
