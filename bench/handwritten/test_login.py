from playwright.sync_api import expect


def _sign_in_fields(page, password):
    page.get_by_label("Username").fill("standard_user")
    page.get_by_label("Password").fill(password)


def test_sign_in_with_labelled_fields(page):
    expect(page.get_by_text("Sign in")).to_be_visible()
    _sign_in_fields(page, "secret_sauce")
    page.get_by_role("button", name="Login").click()
    expect(page.get_by_role("heading", name="Products")).to_have_count(1)
    expect(page.get_by_text("Hello, standard_user")).to_be_visible()


def test_wrong_password_is_refused(page):
    _sign_in_fields(page, "not_the_password")
    page.keyboard.press("Enter")
    expect(page.get_by_text("Username and password do not match")).to_be_visible()


def test_sign_in_with_the_keyboard(page):
    page.get_by_label("Username").fill("standard_user")
    page.keyboard.press("Tab")
    page.keyboard.type("secret_sauce")
    page.keyboard.press("Enter")
    expect(page.get_by_text("Hello, standard_user")).to_have_count(1)
