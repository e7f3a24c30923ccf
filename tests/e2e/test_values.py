"""Field values that are hard on a store and a label: markup, control
characters, right-to-left text, emoji, the store's own syntax, and a
100,000-character value. Each is kept exactly and shown as plain text."""

import harness as h

LONG = "".join(chr(0x41 + n % 26) for n in range(99_991)) + " the end."

VALUES = {
    "a": '<b>Bold</b> <font color="red">REDREDRED</font> &amp; <br>',
    "b": "tab\there\x01\x02\x1b[0m\x7f end\r\nnext",
    "c": LONG,
    "d": "שלום עולם – مرحبا بالعالم 123",
    "e": "Emoji 😀👍🏽 👨‍👩‍👧 🇩🇪",
    "f": '@Variant(\\0) ; comment = x, y "quoted" \\back\\slash\\ [General]',
    "g": "  spaces around  ",
    "h": "%U0041%41 ü\\x41",
}


class UnusualValues(h.AppTestCase):

    def test_unusual_values_are_kept_exactly_and_shown_plainly(self):
        app = self.launch()
        card = h.extents(app.preview_card())
        first_look = h.Shot(app.main_wid).pixels(card)
        for letter, value in VALUES.items():
            app.set_field(letter, value)
            h.wait_until(lambda: app.field_text(letter) == value, f"field {letter}")
        stored = app.settings()
        for letter, value in VALUES.items():
            self.assertEqual(stored[letter], value, f"stored {letter}")
            self.assertEqual(app.preview_text(letter), value, f"label {letter}1")

        # Markup shows as its characters: rendered, it would paint red text.
        # The company name changed first, so once the card looks different
        # it has been painted with the markup in it.
        def repainted():
            shot = h.Shot(app.main_wid)
            return shot if shot.pixels(card) != first_look else None
        shot = h.wait_until(repainted, "the card to repaint", interval=0.2)
        self.assertEqual(shot.fraction(card, h.is_red, step=1), 0.0, "markup was rendered")

        app.restart()
        for letter, value in VALUES.items():
            self.assertEqual(app.field_text(letter), value, f"field {letter} after restart")
            self.assertEqual(app.preview_text(letter), value, f"label {letter}1 after restart")
        self.assertEqual(len(app.field_text("c")), 100_000)
        app.responsive()
