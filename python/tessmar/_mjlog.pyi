"""Tenhou's archive XML (mjlog) as Tenhou JSON and as mjai events."""

class MjlogError(ValueError):
    """mjlog XML that is malformed, cut short, or not a four-player game."""

def mjlog_to_tenhou(xml: str | bytes, ref: str = "") -> str: ...
def mjlog_to_mjai(xml: str | bytes, ref: str = "") -> list[str]: ...
