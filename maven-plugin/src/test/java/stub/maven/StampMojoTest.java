package stub.maven;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

public class StampMojoTest {
    @Test
    public void choosesTheToolOfTheBuildMachineAndNoneOnOthers() {
        String[][] cases = {
            {"Linux", "amd64", "linux-x86_64"}, {"Windows 11", "amd64", "windows-x86_64"},
            {"Windows Server 2022", "x86_64", "windows-x86_64"}, {"Linux", "aarch64", null},
            {"Mac OS X", "x86_64", null}, {"Windows 10", "x86", null}, {"FreeBSD", "amd64", null},
        };
        for (String[] c : cases) assertEquals(c[0] + " " + c[1], c[2], StampMojo.platform(c[0], c[1]));
    }

    @Test
    public void mapsLauncherAndArchToACarriedStub() {
        assertEquals("x64/stubcon.exe", StampMojo.stubPath("console", "x64"));
        assertEquals("x86/stubwin.exe", StampMojo.stubPath("windowed", "x86"));
        assertEquals(null, StampMojo.stubPath("gui", "x64"));
        assertEquals(null, StampMojo.stubPath("console", "arm64"));
    }

    @Test
    public void takesTheLeadingNumbersOfTheProjectVersion() {
        String[][] cases = {
            {"2.7.1", "2.7.1"}, {"2.7.1-SNAPSHOT", "2.7.1"}, {"1.0.0.4.5", "1.0.0.4"}, {"3", "3"},
            {"10.2-rc1", "10.2"}, {"SNAPSHOT", null}, {"v1.2", null},
        };
        for (String[] c : cases) assertEquals(c[0], c[1], StampMojo.numericVersion(c[0]));
    }
}
